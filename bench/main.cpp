#include <QApplication>
#include <QCommandLineParser>
#include <QStringList>

#include <utility>

// Each topic's benchmarks; every one prints its own figures.
void benchFolders();
void benchPictures();
void benchPlayer();
void benchSlideFile();

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
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
