#include <QApplication>
#include <QCommandLineParser>
#include <QStringList>

#include <utility>

// Each topic's benchmarks; every one prints its own figures.
void benchFolders();
void benchPictures();
void benchPlayer();
void benchSlideFile();
int benchDecodeOne(const QString& path);

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // kavelo_bench --decode FILE: one decode of one file, for measuring
    // crafted files each in a process of its own.
    const QStringList arguments = app.arguments();
    if (arguments.size() == 3 && arguments.at(1) == QLatin1String("--decode"))
        return benchDecodeOne(arguments.at(2));
    const std::pair<const char*, void (*)()> topics[] = {{"pictures", benchPictures},
                                                         {"folders", benchFolders},
                                                         {"player", benchPlayer},
                                                         {"slidefile", benchSlideFile}};
    // Topics named on the command line run alone; none named runs all.
    const QStringList wanted = QCoreApplication::arguments().mid(1);
    for (const auto& [name, run] : topics)
        if (wanted.isEmpty() || wanted.contains(QLatin1String(name)))
            run();
    return 0;
}
