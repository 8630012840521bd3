#pragma once

#include <QString>
#include <memory>

class QSettings;

// The per-user settings: text values addressed by section and key, kept in
// one file. A test points it at a file in a temporary folder; the program
// uses the user's own file through forUser().
class SettingsStore {
public:
    explicit SettingsStore(const QString& filePath);
    ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    // ~/.config/Vantrel.conf (or $XDG_CONFIG_HOME/Vantrel.conf).
    static QString userFilePath(const QString& applicationTitle);

    // The stored text, or defaultText when the key is absent.
    QString read(const QString& section, const QString& key,
                 const QString& defaultText = QString()) const;
    bool contains(const QString& section, const QString& key) const;
    // Written through to disk at once: the program can be ended at any moment
    // without running any closing work.
    void write(const QString& section, const QString& key, const QString& text);

    QString filePath() const;

private:
    std::unique_ptr<QSettings> settings_;
};
