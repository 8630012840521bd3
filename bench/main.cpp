#include <QApplication>
#include <QCommandLineParser>

// Each topic's benchmarks; every one prints its own figures.
void benchPictures();
void benchPlayer();
void benchSlideFile();

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    benchPictures();
    benchPlayer();
    benchSlideFile();
    return 0;
}
