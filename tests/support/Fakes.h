#pragma once

#include "seams/AppContext.h"
#include "seams/FileDialog.h"
#include "seams/ProgramEnd.h"
#include "seams/Prompter.h"
#include "seams/UrlOpener.h"
#include "settings/SettingsStore.h"

#include <QGuiApplication>
#include <QList>
#include <QString>
#include <QTemporaryDir>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

// Records message boxes instead of showing them, each with whether the
// hourglass was up while it showed, and can run the event loop meanwhile, as
// a real message box does.
class FakePrompter final : public Prompter {
public:
    struct Message {
        QString text;
        MessageIcon icon;
        bool hourglass;
    };
    void message(QWidget*, const QString& text, MessageIcon icon) override {
        messages.append({text, icon, QGuiApplication::overrideCursor() != nullptr});
        if (whileOpen)
            std::exchange(whileOpen, nullptr)();
    }
    QList<Message> messages;
    std::function<void()> whileOpen;
};

// Answers file dialogs from a script; an empty answer is a cancel.
class FakeFileDialog final : public FileDialog {
public:
    std::optional<QString> openFile(QWidget*, const QString& initialName) override {
        offeredNames.append(initialName);
        return answers.isEmpty() ? std::nullopt : answers.takeFirst();
    }
    std::optional<QString> saveFile(QWidget*, const QString& initialName) override {
        offeredNames.append(initialName);
        return answers.isEmpty() ? std::nullopt : answers.takeFirst();
    }
    QList<std::optional<QString>> answers;
    QStringList offeredNames;
};

class FakeProgramEnd final : public ProgramEnd {
public:
    void endNow() override { ++calls; }
    int calls = 0;
};

class FakeUrlOpener final : public UrlOpener {
public:
    bool open(const QUrl& url) override {
        opened.append(url);
        return true;
    }
    QList<QUrl> opened;
};

// A complete set of fakes with a settings file in its own temporary folder.
struct FakeWorld {
    FakeWorld();

    QTemporaryDir folder;
    std::unique_ptr<SettingsStore> settings;
    FakePrompter prompter;
    FakeFileDialog fileDialog;
    FakeProgramEnd programEnd;
    FakeUrlOpener urlOpener;

    AppContext context();
    // The settings as a fresh store on the same file would read them.
    QString stored(const QString& section, const QString& key) const;
};
