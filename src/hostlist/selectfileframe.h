#pragma once

#include <QFrame>

#include <functional>

class QLineEdit;
class QListWidget;

// Lists the entries of one folder that match a mask, narrows them to the names holding a
// typed text, and reports the one the user presses on: the left button picks it to load
// ("[L] " + path), the right button to edit ("[E] " + path). From the keyboard, Up and Down
// move through the entries (from the filter edit too) and Enter picks the current one to
// load. The names run down columns that share the list's width.
class TSelectFileFrame : public QFrame
{
    Q_OBJECT
public:
    static constexpr int kItemHeight = 14;

    explicit TSelectFileFrame(QWidget *parent = nullptr);

    QLineEdit *FilterEdit;
    QListWidget *FileListBox;

    using TOnSelectFile = std::function<void(TSelectFileFrame *sender, const QString &fileName)>;
    TOnSelectFile OnSelectFile;

    // The folder ends with "/"; it is joined directly to the mask and to the names.
    void SetFileListPath(const QString &fileListPath) { FFileListPath = fileListPath; }
    void SetFileListMask(const QString &fileListMask) { FFileListMask = fileListMask; }
    QString FileListPath() const { return FFileListPath; }
    QString FileListMask() const { return FFileListMask; }

    // Fills the list with every matching entry; the filter text is left as it is.
    void LoadFileList();
    void FilterEditChange();
    void FileListBoxMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, const QPoint &pos);
    // Up, Down and Enter on the list or the filter edit; true when the key was taken.
    bool FileListBoxKeyDown(int key, Qt::KeyboardModifiers modifiers);
    void FrameResize();

    int RowsPerColumn() const { return m_rowsPerColumn; }
    int ColumnCount() const { return m_columnCount; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The matching entries in the order the folder gives them: files and folders, hidden
    // ones too, the mask matched without regard to case.
    QStringList matchingEntries() const;
    void fill(const QStringList &names);

    QString FFileListPath;
    QString FFileListMask;
    int m_rowsPerColumn = 0;
    int m_columnCount = 1;
};
