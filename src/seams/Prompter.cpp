#include "seams/Prompter.h"

#include <QMessageBox>

MessageBoxPrompter::MessageBoxPrompter(QString title)
    : title_(std::move(title)) {}

void MessageBoxPrompter::message(QWidget* parent, const QString& text, MessageIcon icon) {
    QMessageBox box(icon == MessageIcon::Stop ? QMessageBox::Critical : QMessageBox::NoIcon, title_,
                    text, QMessageBox::Ok, parent);
    box.exec();
}
