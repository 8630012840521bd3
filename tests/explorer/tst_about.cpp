#include "about/frmAbout.h"
#include "explorer/frmExplorer.h"
#include "support/Fakes.h"
#include "support/TestRegistry.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTest>

class AboutInExplorerTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void openCloseOpenShowsTheSame() {
        FakeWorld world;
        AppContext context = world.context();
        context.info.major = 2;
        context.info.minor = 10;
        context.info.revision = 3;
        frmExplorer e(context, VolumeTable({{"/", ""}}, QDir::tempPath()));
        e.Form_Load();
        e.show();

        e.mnuAboutInfo_Click();
        QPointer<frmAbout> first = e.aboutForm.get();
        QVERIFY(first && first->isVisible());
        QCOMPARE(first->windowModality(), Qt::ApplicationModal);
        QCOMPARE(first->Label1->text(), QStringLiteral("Version: 2.10.3"));
        const QImage firstLook = first->grab().toImage();
        QTest::mouseClick(first->cmdOK, Qt::LeftButton);
        QTRY_VERIFY(first.isNull());
        QVERIFY(!e.aboutForm.isLoaded());

        e.mnuAboutInfo_Click();
        frmAbout* second = e.aboutForm.get();
        QVERIFY(second && second->isVisible());
        QCOMPARE(second->Label1->text(), QStringLiteral("Version: 2.10.3"));
        QCOMPARE(second->grab().toImage(), firstLook);
        second->close();
        QTRY_VERIFY(!e.aboutForm.isLoaded());
    }
};
KAVELO_TEST(AboutInExplorerTest)

#include "tst_about.moc"
