#pragma once

#include <QString>

class QWidget;

enum class MessageIcon { None, Stop };

// The program's modal message box: one fixed text, one OK button, the
// application title as caption. Windows call it through this interface so
// that a test can record what would have been shown instead of blocking.
class Prompter {
public:
    virtual ~Prompter() = default;
    virtual void message(QWidget* parent, const QString& text, MessageIcon icon) = 0;
};

class MessageBoxPrompter final : public Prompter {
public:
    explicit MessageBoxPrompter(QString title);
    void message(QWidget* parent, const QString& text, MessageIcon icon) override;

private:
    QString title_;
};
