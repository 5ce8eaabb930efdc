#pragma once

#include <QWidget>

class TJvFormMagnet;
class TPingFrame;

// A small top-level window that holds one ping frame, so that a host can be watched outside
// the main window's columns. It snaps to the screen's edges and to other ping windows while
// the user drags it. Closing it only hides it: its frame keeps running until the window's
// creator frees it. Nobody starts the frame for the user.
class TPingForm : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(int Tag MEMBER Tag)
public:
    // `owner` (the main window) frees the window with itself at the latest.
    explicit TPingForm(QWidget *owner = nullptr);
    ~TPingForm() override;

    static constexpr int kClientWidth = 430;
    static constexpr int kClientHeight = 109;

    TPingFrame *PingFrame;
    TJvFormMagnet *JvFormMagnet;
    int Tag = 0;
};
