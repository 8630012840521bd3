#include "app/AppContext.h"
#include "app/ProgramEnd.h"
#include "app/SettingsStore.h"
#include "app/modMain.h"
#include "ui/AccessibleFactory.h"
#include "ui/FileDialog.h"
#include "ui/Prompter.h"
#include "ui/UrlOpener.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kavelo"));
    QApplication::setOrganizationName(QStringLiteral("Vantrel"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/kavelo/icons/kavelo.png")));
    QApplication::setQuitOnLastWindowClosed(false);
    installAccessibleFactories();

    AppContext context;
    context.info = AppInfo::current();
    SettingsStore settings(SettingsStore::userFilePath(context.info.title));
    MessageBoxPrompter prompter(context.info.title);
    QtFileDialog fileDialog;
    QuitEventLoop programEnd;
    DesktopUrlOpener urlOpener;
    context.settings = &settings;
    context.prompter = &prompter;
    context.fileDialog = &fileDialog;
    context.programEnd = &programEnd;
    context.urlOpener = &urlOpener;

    modMain start(context);
    start.Main();
    return QApplication::exec();
}
