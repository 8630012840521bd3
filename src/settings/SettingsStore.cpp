#include "settings/SettingsStore.h"

#include "settings/SettingsFileCheck.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace {
QString fullKey(const QString& section, const QString& key) {
    return section + QLatin1Char('/') + key;
}
} // namespace

SettingsStore::SettingsStore(const QString& filePath)
    : filePath_(filePath) {
    if (inspectSettingsFile(filePath_) != SettingsFileState::Damaged)
        settings_ = std::make_unique<QSettings>(filePath_, QSettings::IniFormat);
}

SettingsStore::~SettingsStore() = default;

QString SettingsStore::userFilePath(const QString& applicationTitle) {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QLatin1Char('/') + applicationTitle + QStringLiteral(".conf");
}

QString SettingsStore::read(const QString& section, const QString& key,
                            const QString& defaultText) const {
    if (!settings_)
        return defaultText;
    const QVariant value = settings_->value(fullKey(section, key));
    if (!value.isValid())
        return defaultText;
    return value.toString();
}

bool SettingsStore::contains(const QString& section, const QString& key) const {
    return settings_ && settings_->contains(fullKey(section, key));
}

void SettingsStore::write(const QString& section, const QString& key, const QString& text) {
    if (!settings_ && !setAsideDamagedFile())
        return;
    settings_->setValue(fullKey(section, key), text);
    settings_->sync();
}

QString SettingsStore::filePath() const {
    return filePath_;
}

bool SettingsStore::setAsideDamagedFile() {
    const QString backup = freeBackupPath(filePath_, [](const QString& name) {
        // A dangling link is a taken name too.
        return QFile::exists(name) || QFileInfo(name).isSymLink();
    });
    // A plain rename: the bytes stay as they were, and it either happens
    // in full or not at all.
    if (backup.isEmpty() || !QFile::rename(filePath_, backup))
        return false;
    backupPath_ = backup;
    settings_ = std::make_unique<QSettings>(filePath_, QSettings::IniFormat);
    return true;
}
