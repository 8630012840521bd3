#pragma once

#include <QListWidget>

// The file list: the files (not folders) of one folder, hidden ones left
// out, sorted without regard to case. Click is raised when the user selects
// a file by mouse or keyboard; DblClick on a double-click or Enter.
class FileListBox : public QListWidget {
    Q_OBJECT
public:
    explicit FileListBox(QWidget* parent = nullptr);

    QString path() const { return path_; }
    // Shows the files of folder; the selection is cleared, no Click raised.
    void setPath(const QString& folder);
    QString fileName(int row) const;
    // The selected file's name, empty when none is selected.
    QString selectedFileName() const;

protected:
    void mousePressEvent(QMouseEvent* event) override;

Q_SIGNALS:
    void Click();
    void DblClick();

private:
    QString path_;
    bool filling_ = false;
    int rowBeforePress_ = -1;
};
