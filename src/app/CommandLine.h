#pragma once

#include <QString>
#include <QStringList>

// What the command line asks for. Parsed before any QApplication exists, so
// --help and --version work without a display and touch no settings.
//
// Files and options may be mixed: options are recognised anywhere until
// "--", and everything else names a file. A name ending in ".sld" (in any
// case) is a slide show file and is opened as if chosen in the Load
// dialog; every other name is a picture, appended to the slide list in the
// order given. With both, the slide show file is loaded first, since loading
// replaces the list, and the pictures follow it. At most one slide show file
// can be given: which of several the user meant cannot be guessed.
struct CommandLine {
    enum class Action { Run, Help, Version, Error };

    Action action = Action::Run;
    // For Error: what was wrong, in one line.
    QString error;
    // Full paths, resolved against the folder the program was started in.
    QString slideShowFile;
    QStringList pictures;
};

// arguments: without the program name. startFolder: what relative names are
// resolved against.
CommandLine parseCommandLine(const QStringList& arguments, const QString& startFolder);

// The arguments as the system hands them over, decoded as file names are.
QStringList argumentsFrom(int argc, char* argv[]);

// The one-line synopsis, and the whole --help text that starts with it.
QString usageLine();
QString usageText();
QString versionLine();

// Prints what a Help, Version or Error result asks for and returns the exit
// status: 0 for help and version, 2 for a usage error.
int finishWithoutWindows(const CommandLine& command);
