#pragma once

#include <QDialog>

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

    void SelectFileFrameSelectFile(TSelectFileFrame *sender, const QString &fileName);

protected:
    void showEvent(QShowEvent *e) override;

private:
    void FormCreate();

    QString FFileName;
};
