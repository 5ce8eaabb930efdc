#pragma once

#include <QDialog>

#include <optional>

class TSelectFileFrame;

// The file chooser window: a thin shell around TSelectFileFrame that closes with OK at the
// first pick and keeps it in FileName ("[L] " or "[E] " followed by the path). One instance
// serves the whole run; it is centred on its parent window each time it is shown.
class TSelectFileDlg : public QDialog
{
    Q_OBJECT
public:
    explicit TSelectFileDlg(QWidget *parent = nullptr);

    TSelectFileFrame *SelectFileFrame;
    QString FileName() const { return FFileName; }

    // The size the chooser first shows at, frame included. It is applied again while that
    // showing lasts whenever the window system frames the chooser otherwise than it was sized
    // for (before its first showing only the main window's frame is known).
    void SetOuterSize(const QSize &outer);

    void SelectFileFrameSelectFile(TSelectFileFrame *sender, const QString &fileName);

protected:
    void showEvent(QShowEvent *e) override;
    void hideEvent(QHideEvent *e) override;
    void moveEvent(QMoveEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;

private:
    void FormCreate();
    void applyOuterSize();
    void reapplyOuterSize();

    QString FFileName;
    std::optional<QSize> m_outer;
    QSize m_outerExtra; // the frame m_outer was applied with
};
