#include "app/CommandLine.h"
#include "app/modMain.h"
#include "picture/PictureDecoder.h"
#include "picture/colour/ColourConversion.h"
#include "picture/sandbox/DecodeHelperPool.h"
#include "seams/AppContext.h"
#include "seams/DisplayColourProfile.h"
#include "seams/FileDialog.h"
#include "seams/ProgramEnd.h"
#include "seams/Prompter.h"
#include "seams/UrlOpener.h"
#include "settings/SettingsStore.h"
#include "ui/AccessibleFactory.h"

#include <QApplication>
#include <QDir>
#include <QTimer>

int main(int argc, char* argv[]) {
    // Before any QApplication: --help and --version need no display.
    const CommandLine command = parseCommandLine(argumentsFrom(argc, argv), QDir::currentPath());
    if (command.action != CommandLine::Action::Run)
        return finishWithoutWindows(command);

    // Qt sees the program name only, so a picture named like one of Qt's
    // own options ("-style") stays a file name.
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    QApplication::setApplicationName(QStringLiteral("Kavelo"));
    QApplication::setOrganizationName(QStringLiteral("Vantrel"));
    // Docks and task switchers match the windows to the installed menu entry.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.example.Kavelo"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/kavelo/icons/kavelo.png")));
    QApplication::setQuitOnLastWindowClosed(false);
    installAccessibleFactories();
    // Read here, before any picture is decoded on another thread.
    const QByteArray displayProfile = displayColourProfile(ColourConversion::maxProfileBytes);
    ColourConversion::setDisplayProfile(displayProfile);
    // Every picture is decoded in a sandboxed helper process, so a file
    // crafted against a decoder reaches nothing of the user's. Built before
    // and destroyed after every window that decodes.
    DecodeHelperPool::Options options;
    options.displayProfile = displayProfile;
    DecodeHelperPool helpers(options);
    DecodeHelperPool::install(&helpers);
    // Two, for a preview and for a show's first picture and the one after.
    helpers.startAhead(2);

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
    // Queued, so the explorer is on screen before a message about the file.
    QTimer::singleShot(0, &app, [&start, &command] { start.openGivenFiles(command); });
    const int status = QApplication::exec();
    DecodeHelperPool::install(nullptr);
    return status;
}
