#include "support/TestRegistry.h"
#include "ui/AccessibleFactory.h"

#include <QApplication>
#include <QTest>
#include <memory>
#include <vector>

namespace {
struct Registered {
    const char* name;
    std::function<QObject*()> factory;
};

std::vector<Registered>& registry() {
    static std::vector<Registered> tests;
    return tests;
}
} // namespace

int registerTestClass(const char* name, std::function<QObject*()> factory) {
    registry().push_back({name, std::move(factory)});
    return static_cast<int>(registry().size());
}

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setAttribute(Qt::AA_Use96Dpi, true);
    // As main does.
    installAccessibleFactories();
    int failures = 0;
    for (const Registered& test : registry()) {
        std::unique_ptr<QObject> object(test.factory());
        failures += QTest::qExec(object.get(), argc, argv);
    }
    return failures == 0 ? 0 : 1;
}
