#include "app/SettingsStore.h"

#include <QSettings>
#include <QStandardPaths>

namespace {
QString fullKey(const QString& section, const QString& key) {
    return section + QLatin1Char('/') + key;
}
} // namespace

SettingsStore::SettingsStore(const QString& filePath)
    : settings_(std::make_unique<QSettings>(filePath, QSettings::IniFormat)) {}

SettingsStore::~SettingsStore() = default;

QString SettingsStore::userFilePath(const QString& applicationTitle) {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QLatin1Char('/') + applicationTitle + QStringLiteral(".conf");
}

QString SettingsStore::read(const QString& section, const QString& key,
                            const QString& defaultText) const {
    const QVariant value = settings_->value(fullKey(section, key));
    if (!value.isValid())
        return defaultText;
    return value.toString();
}

bool SettingsStore::contains(const QString& section, const QString& key) const {
    return settings_->contains(fullKey(section, key));
}

void SettingsStore::write(const QString& section, const QString& key, const QString& text) {
    settings_->setValue(fullKey(section, key), text);
    settings_->sync();
}

QString SettingsStore::filePath() const {
    return settings_->fileName();
}
