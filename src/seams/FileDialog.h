#pragma once

#include <QString>
#include <optional>

class QWidget;

// Choosing a slide show file. Both dialogs offer initialName, filter on
// "SlideShows (*.SLD *.sld)" and add ".SLD" to a name typed without an
// extension. A cancelled dialog gives no file.
class FileDialog {
public:
    virtual ~FileDialog() = default;
    virtual std::optional<QString> openFile(QWidget* parent, const QString& initialName) = 0;
    virtual std::optional<QString> saveFile(QWidget* parent, const QString& initialName) = 0;
};

class QtFileDialog final : public FileDialog {
public:
    std::optional<QString> openFile(QWidget* parent, const QString& initialName) override;
    std::optional<QString> saveFile(QWidget* parent, const QString& initialName) override;
};
