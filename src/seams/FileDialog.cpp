#include "seams/FileDialog.h"

#include <QFileDialog>

namespace {
std::optional<QString> runDialog(QWidget* parent, const QString& initialName,
                                 QFileDialog::AcceptMode mode) {
    QFileDialog dialog(parent);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                       : QFileDialog::AnyFile);
    dialog.setNameFilter(QStringLiteral("SlideShows (*.SLD *.sld)"));
    dialog.setDefaultSuffix(QStringLiteral("SLD"));
    if (!initialName.isEmpty())
        dialog.selectFile(initialName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}
} // namespace

std::optional<QString> QtFileDialog::openFile(QWidget* parent, const QString& initialName) {
    return runDialog(parent, initialName, QFileDialog::AcceptOpen);
}

std::optional<QString> QtFileDialog::saveFile(QWidget* parent, const QString& initialName) {
    return runDialog(parent, initialName, QFileDialog::AcceptSave);
}
