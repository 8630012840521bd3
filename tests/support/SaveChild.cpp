// A child process for the fault tests: it saves a slide list through the
// explorer's Save command, so that a test can run it with a preloaded fault
// shim or kill it part-way. Every message box the explorer would show is
// printed as one line on standard output instead.
//
//   kavelo_savechild once <file> <entries>   one save of that many entries
//   kavelo_savechild loop <file> <entries>   saves two different lists in
//       turn until killed, printing "saved" after each completed save
#include "show/SlideListModel.h"
#include "support/ExplorerFixture.h"
#include "support/SaveFaultLists.h"

#include <QApplication>
#include <QTextStream>

#include <cstdio>

namespace {
void saveAs(ExplorerFixture& scene, const QString& file, const QStringList& entries) {
    scene.window.slideList().clear();
    scene.window.slideList().append(entries);
    scene.world.fileDialog.answers.append(file);
    scene.window.cmdSave_Click();
    for (const FakePrompter::Message& shown : scene.world.prompter.messages)
        std::printf("%s\n", shown.text.toUtf8().constData());
    scene.world.prompter.messages.clear();
    std::fflush(stdout);
}
} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 4) {
        std::fprintf(stderr, "usage: kavelo_savechild once|loop <file> <entries>\n");
        return 2;
    }
    const QString file = arguments.at(2);
    const int count = arguments.at(3).toInt();
    ExplorerFixture scene;
    if (arguments.at(1) == QLatin1String("once")) {
        saveAs(scene, file, faultTestList(QStringLiteral("new"), count));
        return 0;
    }
    const QStringList lists[] = {faultTestList(QStringLiteral("first"), count),
                                 faultTestList(QStringLiteral("second"), count + count / 2)};
    for (unsigned turn = 0;; ++turn) {
        saveAs(scene, file, lists[turn % 2]);
        std::printf("saved\n");
        std::fflush(stdout);
    }
}
