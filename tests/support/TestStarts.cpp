#include "support/TestRegistry.h"

#include <vector>

// Apart from the shared main, so that a program of its own (the save fault
// tests' child) can register a start without taking that main in.
namespace {
std::vector<void (*)()>& starts() {
    static std::vector<void (*)()> functions;
    return functions;
}
} // namespace

int registerTestStart(void (*start)()) {
    starts().push_back(start);
    return static_cast<int>(starts().size());
}

void runTestStarts() {
    for (void (*start)() : starts())
        start();
}
