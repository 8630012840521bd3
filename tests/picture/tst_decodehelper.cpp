#include "picture/PictureDecoder.h"
#include "picture/PictureLoader.h"
#include "picture/decode/DecodeBudget.h"
#include "picture/sandbox/DecodeHelperPool.h"
#include "picture/sandbox/SanitizerBuild.h"
#include "support/PictureFiles.h"
#include "support/TestRegistry.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <thread>

namespace {
QString faultyHelper() {
    return QFileInfo(DecodeHelperPool::besideProgram()).absolutePath() +
           QStringLiteral("/kavelo-decode-faulty");
}

DecodeHelperPool::Options oneHelper(const QString& executable = DecodeHelperPool::besideProgram()) {
    DecodeHelperPool::Options options;
    options.executable = executable;
    options.size = 1;
    return options;
}

// Gone, and reaped: a zombie would still take a signal.
bool reaped(pid_t pid) {
    return ::kill(pid, 0) != 0 && errno == ESRCH;
}

QString statusLine(pid_t pid, const char* field) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return {};
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return QString::fromLatin1(line.mid(qstrlen(field))).simplified();
    return {};
}

QStringList openDescriptors(pid_t pid) {
    QStringList targets;
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    const QStringList entries = fds.entryList(QDir::NoDotAndDotDot | QDir::System);
    for (const QString& fd : entries)
        targets.append(fd + QLatin1Char(' ') +
                       QFile::symLinkTarget(fds.filePath(fd)).section(QLatin1Char('/'), -1));
    return targets;
}

// The line of this process's maps that holds address.
QString mappingHolding(const void* address) {
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly))
        return {};
    const auto at = quintptr(address);
    for (const QByteArray& line : maps.readAll().split('\n')) {
        const QList<QByteArray> range = line.left(line.indexOf(' ')).split('-');
        if (range.size() == 2 && range[0].toULongLong(nullptr, 16) <= at &&
            at < range[1].toULongLong(nullptr, 16))
            return QString::fromLatin1(line);
    }
    return {};
}
} // namespace

// Decodes in the sandboxed helper process, with the helper it installs:
// the same pictures as in process, the helper's walls, and what happens
// when a helper crashes, hangs or is killed mid-picture.
#if defined(__SANITIZE_THREAD__)
constexpr bool threadSanitizedBuild = true;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
constexpr bool threadSanitizedBuild = true;
#else
constexpr bool threadSanitizedBuild = false;
#endif
#else
constexpr bool threadSanitizedBuild = false;
#endif

// What a process holds of its own, in KiB; -1 when it cannot be read.
qint64 privateDirtyKbOf(pid_t pid) {
    QFile rollup(QStringLiteral("/proc/%1/smaps_rollup").arg(pid));
    if (!rollup.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : rollup.readAll().split('\n'))
        if (line.startsWith("Private_Dirty:"))
            return line.mid(14).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

class DecodeHelperTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString big;

    DecodeHelperPool::Result decode(DecodeHelperPool& pool, const QString& path,
                                    QSize bound = QSize(640, 480), DecodeBudget* shared = nullptr,
                                    const std::atomic_bool* cancelled = nullptr) {
        return pool.decode(path, bound, PictureDecoder::defaultMemoryBudget, {}, shared, cancelled);
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(QFileInfo::exists(DecodeHelperPool::besideProgram()));
        big = writePicture(QDir(dir.path()), QStringLiteral("big.jpg"), QSize(6000, 4000));
    }
    void cleanup() { qunsetenv("KAVELO_HELPER_FAULT"); }

    void decodesAsInProcess_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("drawSize");
        const QDir folder(dir.path());
        QTest::newRow("jpeg") << writePicture(folder, "a.jpg", {300, 200}) << false;
        QTest::newRow("bmp") << writePicture(folder, "a.bmp", {300, 200}) << false;
        QTest::newRow("tiff") << writePicture(folder, "a.tif", {300, 200}) << false;
        QTest::newRow("tiff drawn smaller") << writePicture(folder, "b.tif", {300, 200}) << true;
        ExifFields exif;
        exif.orientation = 6;
        const QString turned = folder.filePath("turned.jpg");
        QVERIFY(writeBytes(turned, jpegBytes(testPattern({64, 48}), {95, false, exifBlock(exif)})));
        QTest::newRow("exif turned") << turned << true;
        QTest::newRow("big, drawn smaller") << big << true;
        // Every format's library loads what it needs before the sandbox
        // closes (HEIF's codecs, JPEG XL's threads): each decodes there too.
        const QString source = folder.filePath(QStringLiteral("source.png"));
        QVERIFY(writeImage(source, testPattern({320, 240}), "png"));
        const auto made = [&folder, &source](const char* name, const QString& program,
                                             QStringList arguments) {
            const QString path = folder.filePath(QLatin1String(name));
            arguments.replaceInStrings(QStringLiteral("IN"), source);
            arguments.replaceInStrings(QStringLiteral("OUT"), path);
            if (runTool(program, arguments).isEmpty())
                QTest::newRow(name) << path << true;
        };
        QTest::newRow("png") << source << true;
        made("a.gif", QStringLiteral("convert"), {"IN", "OUT"});
        made("a.webp", QStringLiteral("cwebp"), {"-quiet", "IN", "-o", "OUT"});
        made("a.heic", QStringLiteral("heif-enc"), {"-q", "80", "IN", "-o", "OUT"});
        made("a.avif", QStringLiteral("avifenc"), {"-s", "9", "IN", "OUT"});
        made("a.jxl", QStringLiteral("cjxl"), {"--quiet", "IN", "OUT"});
        // Inks kept for their profile are shrunk by Qt's smooth scaling, on
        // its thread pool: threads started inside the sandbox.
        const QString cmykProfile = "/usr/share/color/icc/ghostscript/default_cmyk.icc";
        const QString cmyk = folder.filePath("cmyk.jpg");
        if (!convertProgram().isEmpty() && QFile::exists(cmykProfile) &&
            runConvert(
                {writePicture(folder, "rgb.png", {2000, 1500}), "-profile", cmykProfile, cmyk}))
            QTest::newRow("cmyk with profile, shrunk") << cmyk << false;
    }
    void decodesAsInProcess() {
        QFETCH(QString, path);
        QFETCH(bool, drawSize);
        const std::function<QSize(QSize)> drawn =
            drawSize ? std::function<QSize(QSize)>([](QSize full) { return full / 3; }) : nullptr;
        DecodeHelperPool pool(oneHelper());
        DecodeBudget budget(PictureDecoder::defaultMemoryBudget);
        const DecodeHelperPool::Result result =
            pool.decode(path, QSize(640, 480), PictureDecoder::defaultMemoryBudget, drawn, &budget);
        QCOMPARE(int(result.outcome), int(DecodeHelperPool::Outcome::Decoded));
        PictureDecoder here(QSize(640, 480));
        here.setDrawSize(drawn);
        const std::optional<DecodedPicture> expected = here.decode(path);
        QVERIFY(expected);
        QCOMPARE(result.picture->fullSize, expected->fullSize);
        QCOMPARE(result.picture->image, expected->image);
        QCOMPARE(result.picture->iccProfile, expected->iccProfile);
        QCOMPARE(budget.inUse(), 0);
        // In the program's own memory, as a picture decoded here is: a
        // mapping of the helper's memfd made every paint's first read of
        // it slow.
        const QString mapping = mappingHolding(result.picture->image.constBits());
        QVERIFY2(!mapping.isEmpty() && !mapping.contains(QLatin1String("memfd:")),
                 qPrintable(mapping));
    }

    // The rows are copied out of the helper where they lie; where the
    // helper names a place that holds nothing (as a hostile one may), or
    // the system forbids the copy, they come in a memfd instead, for that
    // picture and the helper's later ones.
    void rowsComeWhereverTheyLie_data() {
        QTest::addColumn<QByteArray>("mode");
        QTest::newRow("in place") << QByteArray();
        QTest::newRow("said to lie elsewhere") << QByteArray("elsewhere");
    }
    void rowsComeWhereverTheyLie() {
        QFETCH(QByteArray, mode);
        qputenv("KAVELO_HELPER_FAULT", mode);
        DecodeHelperPool pool(oneHelper(faultyHelper()));
        const QDir folder(dir.path());
        QStringList pictures{writePicture(folder, "p.jpg", {300, 200})};
        // Inks keep their profile, which comes in a memfd of its own.
        const QString cmykProfile = "/usr/share/color/icc/ghostscript/default_cmyk.icc";
        const QString cmyk = folder.filePath("inks.jpg");
        if (!convertProgram().isEmpty() && QFile::exists(cmykProfile) &&
            runConvert(
                {writePicture(folder, "inks.png", {300, 200}), "-profile", cmykProfile, cmyk}))
            pictures.append(cmyk);
        for (const QString& path : pictures + pictures) {
            const DecodeHelperPool::Result result = decode(pool, path);
            QCOMPARE(int(result.outcome), int(DecodeHelperPool::Outcome::Decoded));
            const std::optional<DecodedPicture> expected =
                PictureDecoder(QSize(640, 480)).decode(path);
            QVERIFY(expected);
            QCOMPARE(result.picture->image, expected->image);
            QCOMPARE(result.picture->iccProfile, expected->iccProfile);
        }
        QCOMPARE(pool.helperPids().size(), 1);
    }

    void refusesWhatIsNoPicture() {
        DecodeHelperPool pool(oneHelper());
        QCOMPARE(int(decode(pool, writeGarbage(QDir(dir.path()), "x.jpg")).outcome),
                 int(DecodeHelperPool::Outcome::Failed));
        QCOMPARE(int(decode(pool, dir.path()).outcome), int(DecodeHelperPool::Outcome::Failed));
        // A failed picture costs no helper.
        QCOMPARE(pool.helperPids().size(), 1);
        QCOMPARE(int(decode(pool, writePicture(QDir(dir.path()), "ok.bmp", {20, 10})).outcome),
                 int(DecodeHelperPool::Outcome::Decoded));
    }

    void sandboxIsSet() {
        DecodeHelperPool pool(oneHelper());
        QVERIFY(decode(pool, writePicture(QDir(dir.path()), "s.bmp", {20, 10})).picture);
        const pid_t pid = pool.helperPids().value(0);
        QVERIFY(pid > 0);
        QCOMPARE(statusLine(pid, "NoNewPrivs:"), QStringLiteral("1"));
        QCOMPARE(statusLine(pid, "Seccomp:"), QStringLiteral("2"));
        QStringList held = openDescriptors(pid);
        held.removeIf([](const QString& fd) { return fd.startsWith(QLatin1String("2 ")); });
        QVERIFY2(held.size() == 1 && held.first().startsWith(QLatin1String("3 socket:")),
                 qPrintable(held.join(QLatin1String(", "))));
        // Its address space held to the budget and what it had mapped.
        QFile limits(QStringLiteral("/proc/%1/limits").arg(pid));
        QVERIFY(limits.open(QIODevice::ReadOnly));
        QByteArray addressLimit;
        for (const QByteArray& line : limits.readAll().split('\n'))
            if (line.startsWith("Max address space"))
                addressLimit = line;
        QVERIFY2(sanitizedBuild || !addressLimit.contains("unlimited"), addressLimit.constData());
        // Where this system lets it have namespaces: no network of ours, and
        // a root with nothing in it.
        const QString network = QStringLiteral("/proc/%1/ns/net").arg(pid);
        if (QFile::symLinkTarget(network) == QFile::symLinkTarget("/proc/self/ns/net"))
            QSKIP("no user namespaces here: the filter alone keeps paths out");
        // ThreadSanitizer's runtime keeps a thread of its own in the helper,
        // and a process with threads cannot take a user namespace.
        if (threadSanitizedBuild)
            QSKIP("no empty root under ThreadSanitizer: the filter alone keeps paths out");
        QCOMPARE(
            QDir(QStringLiteral("/proc/%1/root").arg(pid))
                .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System | QDir::Hidden),
            QStringList());
    }

    void escapesAreStopped_data() {
        QTest::addColumn<QByteArray>("mode");
        QTest::newRow("open") << QByteArray("open");
        QTest::newRow("execve") << QByteArray("exec");
        QTest::newRow("connect") << QByteArray("connect");
    }
    void escapesAreStopped() {
        QFETCH(QByteArray, mode);
        qputenv("KAVELO_HELPER_FAULT", mode);
        DecodeHelperPool pool(oneHelper(faultyHelper()));
        const DecodeHelperPool::Result result =
            decode(pool, writePicture(QDir(dir.path()), "e.bmp", {20, 10}));
        QVERIFY(!result.picture);
        qInfo("%s: %s", mode.constData(), qPrintable(result.reason));
        QVERIFY2(result.outcome == DecodeHelperPool::Outcome::HelperEnded ||
                     result.reason.startsWith(QLatin1String("refused")),
                 qPrintable(result.reason));
    }

    // Each fault fails the picture it hit, and only that one: the next
    // picture gets a new helper, and the old one is reaped.
    void faultsFailOnePicture_data() {
        QTest::addColumn<QString>("fault");
        QTest::newRow("SIGKILL mid-decode") << "kill";
        QTest::newRow("SIGSTOP past the bound") << "stop";
        QTest::newRow("crash") << "crash";
        QTest::newRow("cancelled mid-decode") << "cancel";
    }
    void faultsFailOnePicture() {
        QFETCH(QString, fault);
        if (fault == QLatin1String("crash"))
            qputenv("KAVELO_HELPER_FAULT", "crash");
        DecodeHelperPool pool(oneHelper(faultyHelper()));
        const QString small = writePicture(QDir(dir.path()), "f.tif", {40, 30});
        if (fault != QLatin1String("crash"))
            QVERIFY(decode(pool, small).picture);
        DecodeBudget budget(PictureDecoder::defaultMemoryBudget);
        std::atomic_bool cancelled{false};
        std::optional<DecodeHelperPool::Result> result;
        QElapsedTimer clock;
        clock.start();
        // Decoded at full size, so the helper is at it long enough to be hit.
        std::thread decoding(
            [&] { result = decode(pool, big, QSize(6000, 4000), &budget, &cancelled); });
        if (fault != QLatin1String("crash")) {
            // Holding budget: the header is read and the pixels are coming.
            // Looked at every millisecond: on an idle machine the decode
            // holds it for a tenth of a second only.
            while (budget.inUse() == 0 && clock.elapsed() < 5000)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            QVERIFY(budget.inUse() > 0);
            const pid_t pid = pool.helperPids().value(0);
            if (fault == QLatin1String("kill")) {
                ::kill(pid, SIGKILL);
            } else if (fault == QLatin1String("stop")) {
                ::kill(pid, SIGSTOP);
                // It holds the picture and its socket, nothing else.
                const QStringList held = openDescriptors(pid);
                for (const QString& fd : held)
                    QVERIFY2(fd.startsWith(QLatin1String("2 ")) ||
                                 fd.contains(QLatin1String("socket:")) ||
                                 fd.endsWith(QLatin1String("big.jpg")) ||
                                 fd.contains(QLatin1String("memfd:")),
                             qPrintable(fd));
            } else {
                cancelled = true;
            }
        }
        decoding.join();
        QVERIFY(result);
        QVERIFY(!result->picture);
        QCOMPARE(int(result->outcome), int(DecodeHelperPool::Outcome::HelperEnded));
        if (fault == QLatin1String("stop"))
            QVERIFY(clock.elapsed() >= 2000);
        QCOMPARE(budget.inUse(), 0);
        QVERIFY(pool.helperPids().isEmpty());
        qunsetenv("KAVELO_HELPER_FAULT");
        QVERIFY(decode(pool, small).picture);
        QCOMPARE(pool.helperPids().size(), 1);
    }

    // Pictures that send a decoding library itself astray, kept from
    // fuzzing: in process they take gigabytes and many seconds inside the
    // library; in a helper they cost that one picture, within the bound.
    void libraryFaultsCostOnePicture_data() {
        QTest::addColumn<QString>("path");
        const QDir folder(QStringLiteral(KAVELO_SOURCE_DIR "/fuzz/library-findings"));
        for (const QString& name : folder.entryList(QDir::Files))
            QTest::newRow(qPrintable(name)) << folder.filePath(name);
    }
    void libraryFaultsCostOnePicture() {
        QFETCH(QString, path);
        // Their address space is not limited under the sanitizers.
        if (sanitizedBuild)
            QSKIP("no address-space limit in sanitized helpers");
        DecodeHelperPool pool(oneHelper());
        QElapsedTimer clock;
        clock.start();
        const DecodeHelperPool::Result result = decode(pool, path, QSize(1920, 1080));
        QVERIFY(!result.picture);
        QVERIFY2(clock.elapsed() < 2000 + 1000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(decode(pool, writePicture(QDir(dir.path()), "after.bmp", {20, 10})).picture);
    }

    void leavesNoHelperBehind() {
        QList<pid_t> pids;
        {
            DecodeHelperPool::Options options;
            DecodeHelperPool pool(options);
            bool otherDecoded = false;
            std::thread other(
                [&] { otherDecoded = decode(pool, big, QSize(800, 600)).picture.has_value(); });
            const bool decoded = decode(pool, big, QSize(800, 600)).picture.has_value();
            other.join();
            QVERIFY(decoded && otherDecoded);
            pids = pool.helperPids();
        }
        QVERIFY(!pids.isEmpty());
        for (const pid_t pid : std::as_const(pids))
            QVERIFY(reaped(pid));
    }

    // Helpers started ahead are the ones the first pictures get, and a
    // picture mapped from one stays the program's to change.
    void helpersStartedAheadServeTheFirstPictures() {
        DecodeHelperPool::Options options;
        options.size = 3;
        DecodeHelperPool pool(options);
        pool.startAhead(2);
        QTRY_COMPARE_WITH_TIMEOUT(pool.helperPids().size(), 2, 20000);
        const QList<pid_t> ahead = pool.startedPids();
        DecodeHelperPool::Result first;
        std::thread other([&] { first = decode(pool, big, QSize(800, 600)); });
        DecodeHelperPool::Result second = decode(pool, big, QSize(800, 600));
        other.join();
        QVERIFY(first.picture && second.picture);
        QCOMPARE(pool.startedPids(), ahead);
        // Its pixels are a read-only mapping: a write makes the image copy
        // itself rather than fault.
        QImage& image = second.picture->image;
        const QRgb before = image.pixel(0, 0);
        image.bits()[0] = char(~image.constBits()[0]);
        QVERIFY(image.pixel(0, 0) != before);
        QCOMPARE(first.picture->image.pixel(0, 0), before);
    }

    // A helper left waiting gives back what its last picture took.
    void idleHelperHandsMemoryBack() {
        DecodeHelperPool pool(oneHelper());
        QVERIFY(decode(pool, big, QSize(1920, 1080)).picture);
        const pid_t pid = pool.helperPids().value(0);
        const auto privateDirtyKb = [pid] {
            return privateDirtyKbOf(pid);
        };
        if (sanitizedBuild)
            QSKIP("the sanitizers' allocator keeps its own pools");
        QTRY_VERIFY2_WITH_TIMEOUT(privateDirtyKb() < 16 * 1024,
                                  qPrintable(QString::number(privateDirtyKb())), 10000);
        // And it still decodes.
        QVERIFY(decode(pool, big, QSize(800, 600)).picture);
    }

    // A helper kept busy (a burst, previews one after the other) holds no
    // picture's large buffers between pictures either: only what any
    // decode needs, well under one screenful.
    void busyHelperKeepsNoLargeBuffers_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        // 12 MB in one strip, read whole.
        QTest::newRow("TIFF in one strip")
            << "strip.tif"
            << greyTiffBytes(QSize(4000, 3000), 3000, QByteArray(4000 * 3000, char(0x80)));
        // Its shrunk picture 7 MB.
        QTest::newRow("BMP") << "frame.bmp" << bmpBytes(photoLike(QSize(3000, 2000)), 24);
    }
    void busyHelperKeepsNoLargeBuffers() {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        if (sanitizedBuild)
            QSKIP("the sanitizers' allocator keeps its own pools");
        const QString path = QDir(dir.path()).filePath(name);
        QVERIFY(writeBytes(path, bytes));
        DecodeHelperPool pool(oneHelper());
        QVERIFY(decode(pool, path, QSize(1920, 1080)).picture);
        const pid_t pid = pool.helperPids().value(0);
        // Checked before the idle trim would hand anything back.
        QTRY_VERIFY2_WITH_TIMEOUT(privateDirtyKbOf(pid) < 6 * 1024,
                                  qPrintable(QString::number(privateDirtyKbOf(pid))), 1500);
    }

    // No helper to start: decodes go on in this process.
    void fallsBackWithoutHelper() {
        DecodeHelperPool pool(oneHelper(QStringLiteral("/nonexistent/kavelo-decode")));
        QCOMPARE(int(decode(pool, big).outcome), int(DecodeHelperPool::Outcome::Unavailable));
        QVERIFY(pool.unavailable());
        DecodeHelperPool::install(&pool);
        const std::optional<DecodedPicture> picture =
            PictureLoader::decodeNow(big, PictureTarget{QSize(600, 400), {}});
        DecodeHelperPool::install(nullptr);
        QVERIFY(picture);
        QCOMPARE(picture->image.size(), QSize(600, 400));
        // Nor when the helpers were to be started ahead.
        DecodeHelperPool ahead(oneHelper(QStringLiteral("/nonexistent/kavelo-decode")));
        ahead.startAhead(2);
        QTRY_VERIFY(ahead.unavailable());
        QCOMPARE(int(decode(ahead, big).outcome), int(DecodeHelperPool::Outcome::Unavailable));
    }
};
KAVELO_TEST(DecodeHelperTest)

#include "tst_decodehelper.moc"
