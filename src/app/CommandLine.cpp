#include "app/CommandLine.h"

#include "seams/AppInfo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

namespace {
bool isSlideShowFileName(const QString& name) {
    return name.endsWith(QStringLiteral(".sld"), Qt::CaseInsensitive);
}

QString fullPath(const QString& name, const QString& startFolder) {
    // Absolute and cleaned, as the explorer writes picture paths; the file
    // need not exist (the load routine reports a missing slide show file).
    return QDir::cleanPath(QDir(startFolder).absoluteFilePath(name));
}

CommandLine failure(const QString& error) {
    CommandLine command;
    command.action = CommandLine::Action::Error;
    command.error = error;
    return command;
}

void print(std::FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}
} // namespace

CommandLine parseCommandLine(const QStringList& arguments, const QString& startFolder) {
    CommandLine command;
    bool optionsEnded = false;
    for (const QString& argument : arguments) {
        // A lone "-" is a file name by convention, not an option.
        if (!optionsEnded && argument.startsWith(QLatin1Char('-')) && argument.size() > 1) {
            if (argument == QLatin1String("--")) {
                optionsEnded = true;
            } else if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
                // The first informational option wins; files given beside it are not opened.
                if (command.action == CommandLine::Action::Run)
                    command.action = CommandLine::Action::Help;
            } else if (argument == QLatin1String("--version") || argument == QLatin1String("-v")) {
                if (command.action == CommandLine::Action::Run)
                    command.action = CommandLine::Action::Version;
            } else {
                return failure(QStringLiteral("unknown option '%1'").arg(argument));
            }
            continue;
        }
        if (!isSlideShowFileName(argument)) {
            command.pictures.append(fullPath(argument, startFolder));
        } else if (command.slideShowFile.isEmpty()) {
            command.slideShowFile = fullPath(argument, startFolder);
        } else {
            return failure(QStringLiteral("only one slide show file can be opened at a time"));
        }
    }
    if (command.action != CommandLine::Action::Run) {
        command.slideShowFile.clear();
        command.pictures.clear();
    }
    return command;
}

QStringList argumentsFrom(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QFile::decodeName(argv[i]));
    return arguments;
}

QString usageLine() {
    return QStringLiteral("Usage: kavelo [OPTION]... [FILE.SLD] [PICTURE]...\n");
}

QString usageText() {
    return usageLine() +
           QStringLiteral(
               "Build and play picture slide shows.\n"
               "\n"
               "  FILE.SLD       a slide show file (name ending in .sld, any case): its\n"
               "                 list is loaded as with the Load button\n"
               "  PICTURE        a picture to append to the slide list, in the order given\n"
               "                 (after the slide show file's entries)\n"
               "  -h, --help     print this help and exit\n"
               "  -v, --version  print the version and exit\n"
               "  --             treat every later argument as a file name\n"
               "\n"
               "Without arguments Kavelo starts with an empty slide list.\n");
}

QString versionLine() {
    return QStringLiteral("kavelo %1\n").arg(versionText(AppInfo::current()));
}

int finishWithoutWindows(const CommandLine& command) {
    switch (command.action) {
    case CommandLine::Action::Help:
        print(stdout, usageText());
        return 0;
    case CommandLine::Action::Version:
        print(stdout, versionLine());
        return 0;
    case CommandLine::Action::Error:
        print(stderr, QStringLiteral("kavelo: %1\n").arg(command.error) + usageLine() +
                          QStringLiteral("Try 'kavelo --help' for more information.\n"));
        return 2;
    case CommandLine::Action::Run:
        break;
    }
    return 0;
}
