#include "support/Fakes.h"

FakeWorld::FakeWorld()
    : settings(std::make_unique<SettingsStore>(folder.filePath(QStringLiteral("Vantrel.conf")))) {}

AppContext FakeWorld::context() {
    AppContext context;
    context.info = AppInfo::current();
    context.settings = settings.get();
    context.prompter = &prompter;
    context.fileDialog = &fileDialog;
    context.programEnd = &programEnd;
    context.urlOpener = &urlOpener;
    return context;
}

QString FakeWorld::stored(const QString& section, const QString& key) const {
    const SettingsStore fresh(settings->filePath());
    return fresh.read(section, key, QStringLiteral("<absent>"));
}
