#include "picture/raster/LargeImage.h"
#include "support/TestRegistry.h"

#include <QTest>
#include <optional>

// A picture's pages lent to the next: only within a recycling scope, only
// to an image that is written whole, only at the same length, and given
// back when asked or when the scope ends. Anything else must come zeroed,
// as the decoders that leave pixels unwritten rely on.
class LargeImageTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void pagesGoOnlyWhereTheyAreWrittenOver_data() {
        QTest::addColumn<bool>("scope");
        QTest::addColumn<bool>("firstOverwritten");
        QTest::addColumn<bool>("nextOverwritten");
        QTest::addColumn<QSize>("nextSize");
        QTest::addColumn<bool>("released");
        QTest::addColumn<bool>("recycled");
        const QSize size(1024, 600);
        QTest::newRow("a show's next picture") << true << true << true << size << false << true;
        QTest::newRow("no show") << false << true << true << size << false << false;
        QTest::newRow("the next is not written whole")
            << true << true << false << size << false << false;
        QTest::newRow("the last was not lent") << true << false << true << size << false << false;
        QTest::newRow("another length")
            << true << true << true << QSize(1024, 599) << false << false;
        QTest::newRow("the same length, other sides")
            << true << true << true << QSize(600, 1024) << false << true;
        QTest::newRow("given back while idle") << true << true << true << size << true << false;
    }
    void pagesGoOnlyWhereTheyAreWrittenOver() {
        QFETCH(bool, scope);
        QFETCH(bool, firstOverwritten);
        QFETCH(bool, nextOverwritten);
        QFETCH(QSize, nextSize);
        QFETCH(bool, released);
        QFETCH(bool, recycled);
        const auto use = [](bool overwritten) {
            return overwritten ? LargeImageUse::Overwritten : LargeImageUse::Zeroed;
        };
        std::optional<LargeImageRecycling> recycling;
        if (scope)
            recycling.emplace();
        {
            QImage first =
                largeImage(QSize(1024, 600), QImage::Format_RGB32, use(firstOverwritten));
            QVERIFY(!first.isNull());
            first.fill(0xFF123456u);
        }
        if (released)
            releaseSpareLargeImage();
        const QImage next = largeImage(nextSize, QImage::Format_RGB32, use(nextOverwritten));
        QVERIFY(!next.isNull());
        const auto* pixels = reinterpret_cast<const quint32*>(next.constBits());
        QCOMPARE(pixels[0], recycled ? 0xFF123456u : 0u);
        QCOMPARE(pixels[next.sizeInBytes() / 4 - 1], recycled ? 0xFF123456u : 0u);
    }

    // The scope's end gives back what it kept: a later show starts afresh.
    void theLastScopeGivesThePagesBack() {
        {
            const LargeImageRecycling recycling;
            QImage shown =
                largeImage(QSize(800, 600), QImage::Format_RGB32, LargeImageUse::Overwritten);
            shown.fill(0xFFABCDEFu);
        }
        const LargeImageRecycling again;
        const QImage next =
            largeImage(QSize(800, 600), QImage::Format_RGB32, LargeImageUse::Overwritten);
        QCOMPARE(reinterpret_cast<const quint32*>(next.constBits())[0], 0u);
    }
};
KAVELO_TEST(LargeImageTest)

#include "tst_largeimage.moc"
