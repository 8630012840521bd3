#include "settings/SettingsNames.h"
#include "support/TestRegistry.h"

#include <QTest>

// The names are those in every settings file already written: a rename
// would silently drop the user's values.
class SettingsNamesTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void spelling_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("stored");
        QTest::newRow("options") << settingsKey::Options << "opts";
        QTest::newRow("display time") << settingsKey::TimerSecs << "TimerSecs";
        QTest::newRow("remember") << settingsKey::SavePath << "SavePath";
        QTest::newRow("paths") << settingsKey::Paths << "paths";
        QTest::newRow("drive") << settingsKey::Drive << "Drive";
        QTest::newRow("folder") << settingsKey::Dir << "Dir";
        QTest::newRow("display time default") << settingsKey::TimerSecsDefault << "1";
        QTest::newRow("drive default") << settingsKey::DriveDefault << "C:";
    }
    void spelling() {
        QFETCH(QString, name);
        QTEST(name, "stored");
    }
};
KAVELO_TEST(SettingsNamesTest)

#include "tst_settingsnames.moc"
