#include "slidefile/SlideFile.h"
#include "support/FileBytes.h"
#include "support/TestRegistry.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {
// Hands out its bytes a few at a time, so every line end also arrives split
// over two reads, and fails for good once failAt bytes were read.
class TrickleDevice final : public QIODevice {
public:
    TrickleDevice(QByteArray bytes, qsizetype step, qsizetype failAt = -1)
        : bytes_(std::move(bytes))
        , step_(step)
        , failAt_(failAt) {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }

protected:
    qint64 readData(char* data, qint64 maxSize) override {
        if (failAt_ >= 0 && position_ >= failAt_)
            return -1;
        qsizetype count = std::min<qsizetype>({step_, maxSize, bytes_.size() - position_});
        if (failAt_ >= 0)
            count = std::min(count, failAt_ - position_);
        memcpy(data, bytes_.constData() + position_, count);
        position_ += count;
        return count;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray bytes_;
    qsizetype step_;
    qsizetype failAt_;
    qsizetype position_ = 0;
};

QByteArray written(const QStringList& entries, bool* ok = nullptr) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    const bool result = writeSlideFile(buffer, entries);
    if (ok)
        *ok = result;
    return buffer.data();
}

const QString nonAscii = QStringLiteral("/home/jürgen/Bilder/Straße Ærø/夏の海 Ωμέγα 😀.jpg");
} // namespace

class SlideFileFormatTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void writesOneCrLfEndedLinePerEntry_data() {
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty list is an empty file") << QStringList() << QByteArray();
        QTest::newRow("one") << QStringList{"/a/b.jpg"} << QByteArray("/a/b.jpg\r\n");
        QTest::newRow("three in order") << QStringList{"/p/3.jpg", "/p/1.bmp", "/p/2.tif"}
                                        << QByteArray("/p/3.jpg\r\n/p/1.bmp\r\n/p/2.tif\r\n");
        QTest::newRow("empty entry and duplicates")
            << QStringList{"", "/x.jpg", "/x.jpg"} << QByteArray("\r\n/x.jpg\r\n/x.jpg\r\n");
        QTest::newRow("blanks, commas and quotes kept as they are")
            << QStringList{" /my pics/a, b.jpg ", "/\"q\";x.jpg"}
            << QByteArray(" /my pics/a, b.jpg \r\n/\"q\";x.jpg\r\n");
        QTest::newRow("root file with two separators")
            << QStringList{"//top.jpg"} << QByteArray("//top.jpg\r\n");
        QTest::newRow("non-ASCII as the file name bytes")
            << QStringList{nonAscii} << QByteArray(QFile::encodeName(nonAscii) + "\r\n");
    }
    void writesOneCrLfEndedLinePerEntry() {
        QFETCH(QStringList, entries);
        QFETCH(QByteArray, bytes);
        bool ok = false;
        QCOMPARE(written(entries, &ok), bytes);
        QVERIFY(ok);
    }

    void refusesAnEntryWithALineBreak_data() {
        QTest::addColumn<QString>("entry");
        QTest::newRow("LF") << QStringLiteral("/a\nb.jpg");
        QTest::newRow("CR") << QStringLiteral("/a\rb.jpg");
        QTest::newRow("CR LF at the end") << QStringLiteral("/a.jpg\r\n");
        QTest::newRow("only LF") << QStringLiteral("\n");
    }
    void refusesAnEntryWithALineBreak() {
        QFETCH(QString, entry);
        // Far down a long list, so a writer that streams would already have
        // written the good entries.
        QStringList entries(100000, QStringLiteral("/pics/good.jpg"));
        entries.append(entry);
        QVERIFY(!isSavable(entries));
        bool ok = true;
        QCOMPARE(written(entries, &ok), QByteArray());
        QVERIFY(!ok);
    }

    void readsLinesAtEveryKindOfLineEnd_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("entries");
        QTest::newRow("empty file") << QByteArray() << QStringList();
        QTest::newRow("CR LF") << QByteArray("/a\r\n/b\r\n") << QStringList{"/a", "/b"};
        QTest::newRow("last line without terminator")
            << QByteArray("/a\r\n/b") << QStringList{"/a", "/b"};
        QTest::newRow("only a line without terminator") << QByteArray("/a") << QStringList{"/a"};
        QTest::newRow("blank line is an empty entry")
            << QByteArray("/a\r\n\r\n/b\r\n") << QStringList{"/a", "", "/b"};
        QTest::newRow("only a line end") << QByteArray("\r\n") << QStringList{""};
        QTest::newRow("lone CR") << QByteArray("/a\r/b\r") << QStringList{"/a", "/b"};
        QTest::newRow("lone LF") << QByteArray("/a\n/b\n") << QStringList{"/a", "/b"};
        QTest::newRow("LF then CR are two ends")
            << QByteArray("/a\n\r/b") << QStringList{"/a", "", "/b"};
        QTest::newRow("CR CR LF") << QByteArray("/a\r\r\n/b") << QStringList{"/a", "", "/b"};
        QTest::newRow("mixed") << QByteArray("1\r\n2\n3\r4\r\n") << QStringList{"1", "2", "3", "4"};
        QTest::newRow("blanks and commas")
            << QByteArray(" /my pics/a, b.jpg \r\n") << QStringList{" /my pics/a, b.jpg "};
        QTest::newRow("non-ASCII")
            << QByteArray(QFile::encodeName(nonAscii) + "\r\n") << QStringList{nonAscii};
        QTest::newRow("NUL byte inside a line")
            << QByteArray("/a\0b\r\n/c\r\n", 9)
            << QStringList{QString("/a") + QChar(0) + "b", "/c"};
    }
    void readsLinesAtEveryKindOfLineEnd() {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, entries);
        for (const qsizetype step :
             {qsizetype(1 << 20), qsizetype(1), qsizetype(2), qsizetype(3)}) {
            TrickleDevice device(bytes, step);
            QStringList read;
            QVERIFY(readSlideFile(device, read));
            QCOMPARE(read, entries);
        }
    }

    void appendsAndKeepsCompleteLinesOnAReadError() {
        TrickleDevice device(QByteArray("/a\r\n/b\r\n/cut off here\r\n"), 3, 10);
        QStringList read{QStringLiteral("/already there")};
        QVERIFY(!readSlideFile(device, read));
        QCOMPARE(read, (QStringList{"/already there", "/a", "/b"}));
    }

    void roundTripsThroughARealFile() {
        QTemporaryDir dir;
        const QString first = dir.filePath(QStringLiteral("first.SLD"));
        const QString second = dir.filePath(QStringLiteral("second.SLD"));
        const QStringList entries{"/p/1.jpg", "", nonAscii, " /a, b.bmp", "//root.tif", "/p/1.jpg"};
        QVERIFY(saveSlideFile(first, entries));
        QStringList loaded;
        QVERIFY(loadSlideFile(first, loaded));
        QCOMPARE(loaded, entries);
        QVERIFY(saveSlideFile(second, loaded));
        QCOMPARE(fileContents(second), fileContents(first));
        QCOMPARE(fileContents(first), written(entries));
    }

    void savingReplacesALongerFileWhole() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("show.SLD"));
        QVERIFY(saveSlideFile(path, QStringList(1000, QStringLiteral("/a/long/old/entry.jpg"))));
        QVERIFY(saveSlideFile(path, {QStringLiteral("/new.jpg")}));
        QCOMPARE(fileContents(path), QByteArray("/new.jpg\r\n"));
        QVERIFY(saveSlideFile(path, {}));
        QCOMPARE(QFileInfo(path).size(), 0);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("show.SLD")});
    }

    void loadsOnlyRegularFiles_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("folder") << QStringLiteral("folder");
        QTest::newRow("missing") << QStringLiteral("missing");
        QTest::newRow("pipe, which would block on open") << QStringLiteral("pipe");
        QTest::newRow("endless device") << QStringLiteral("device");
    }
    void loadsOnlyRegularFiles() {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        QString path = dir.filePath(QStringLiteral("show.SLD"));
        if (kind == QLatin1String("folder"))
            QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("show.SLD")));
        else if (kind == QLatin1String("pipe"))
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else if (kind == QLatin1String("device"))
            path = QStringLiteral("/dev/zero");
        QStringList read;
        QVERIFY(!loadSlideFile(path, read));
        QVERIFY(read.isEmpty());
    }
};
KAVELO_TEST(SlideFileFormatTest)

#include "tst_slidefile.moc"
