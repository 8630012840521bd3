#include <QApplication>
#include <QCommandLineParser>

// Each topic's benchmarks; every one prints its own figures.
void benchPictures();

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    benchPictures();
    return 0;
}
