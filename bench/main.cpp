#include <QApplication>
#include <QStringList>

// Each topic's benchmarks; every one prints its own figures.
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
    benchPictures();
    benchPlayer();
    benchSlideFile();
    return 0;
}
