#pragma once

// Whether this build runs under AddressSanitizer or ThreadSanitizer, which
// reserve terabytes of address space and slow decodes several times over.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KAVELO_SANITIZED_BUILD 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define KAVELO_SANITIZED_BUILD 1
#endif
#endif

#ifdef KAVELO_SANITIZED_BUILD
constexpr bool sanitizedBuild = true;
#else
constexpr bool sanitizedBuild = false;
#endif
