#include "support/TestRegistry.h"

#include <QApplication>
#include <QByteArray>
#include <QMetaMethod>
#include <QTest>
#include <cstring>
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

namespace {
// QtTest's options that take the next argument as their value.
bool takesValue(const char* option) {
    static const char* const withValue[] = {
        "-o",        "-maxwarnings",  "-eventdelay",   "-keydelay",   "-mousedelay", "-seed",
        "-platform", "-minimumvalue", "-minimumtotal", "-iterations", "-median"};
    for (const char* name : withValue)
        if (std::strcmp(option, name) == 0)
            return true;
    return false;
}

bool hasTestFunction(const QMetaObject& meta, const QByteArray& function) {
    const qsizetype colon = function.indexOf(':');
    const QByteArray name = colon < 0 ? function : function.left(colon);
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        const QMetaMethod method = meta.method(i);
        if (method.methodType() == QMetaMethod::Slot && method.name() == name)
            return true;
    }
    return false;
}

// The command line one class gets: every option, and of the names given
// only its own functions. Empty when names were given and none is its own,
// or when a class name was given and it is another's. The class's name
// alone ("PrefetchTest") runs all of its functions.
std::vector<QByteArray> argumentsFor(const char* className, const QMetaObject& meta, int argc,
                                     char* argv[]) {
    std::vector<QByteArray> kept{argv[0]};
    bool named = false;
    bool mine = false;
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] == '-') {
            kept.emplace_back(argv[i]);
            if (takesValue(argv[i]) && i + 1 < argc)
                kept.emplace_back(argv[++i]);
            continue;
        }
        named = true;
        const QByteArray name(argv[i]);
        if (name == className) {
            mine = true;
        } else if (hasTestFunction(meta, name)) {
            mine = true;
            kept.push_back(name);
        }
    }
    if (named && !mine)
        return {};
    return kept;
}
} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setAttribute(Qt::AA_Use96Dpi, true);
    int failures = 0;
    for (const Registered& test : registry()) {
        std::unique_ptr<QObject> object(test.factory());
        std::vector<QByteArray> arguments =
            argumentsFor(test.name, *object->metaObject(), argc, argv);
        if (arguments.empty())
            continue;
        std::vector<char*> pointers;
        for (QByteArray& argument : arguments)
            pointers.push_back(argument.data());
        failures += QTest::qExec(object.get(), static_cast<int>(pointers.size()), pointers.data());
    }
    return failures == 0 ? 0 : 1;
}
