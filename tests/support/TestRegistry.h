#pragma once

#include <QObject>
#include <functional>

// Every test class of a subsystem registers itself; the shared main runs
// them all in one executable, so a subsystem can spread its tests over
// several files.
int registerTestClass(const char* name, std::function<QObject*()> factory);

#define KAVELO_TEST(Class)                                                                         \
    static const int kaveloTestRegistration_##Class =                                              \
        registerTestClass(#Class, [] { return static_cast<QObject*>(new Class); });
