#pragma once

#include <QString>
#include <memory>

class QSettings;

// The per-user settings: text values addressed by section and key, kept in
// one file. A test points it at a file in a temporary folder; the program
// uses the user's own file, at userFilePath().
//
// A file that cannot be read or parsed (see SettingsFileCheck.h) reads as
// empty, so every reader gets its default, and is renamed to a free backup
// name before the first write puts a new file in its place: nothing the
// user had is lost, and a broken file never half-applies. Where the file
// or its folder cannot be written, writes stay in memory for the run and
// reads give what was read or written; nothing fails loudly.
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

    // The name the unreadable file was renamed to, empty when none was.
    QString backupPath() const { return backupPath_; }

private:
    // Renames a damaged file aside and opens a fresh one; false when the
    // rename failed, and then nothing may be written over it.
    bool setAsideDamagedFile();

    QString filePath_;
    QString backupPath_;
    // Null while a damaged file is still in place.
    std::unique_ptr<QSettings> settings_;
};
