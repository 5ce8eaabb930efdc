#pragma once

#include <QFrame>

// One frame column. Frames sit in it at Left 0, anchored to its left, top and right edges:
// they follow its width, while their tops and heights are set by the column layout. An
// empty column may show a caption in its middle.
class TColumnPanel : public QFrame
{
    Q_OBJECT
public:
    explicit TColumnPanel(QWidget *parent = nullptr);
    QString Caption;
    void setCaption(const QString &caption);

    // The width the column asks for. Unlike a fixed width it never holds the window wider
    // than the user or a command makes it; the column then simply gets less.
    void SetPanelWidth(int width);
    QSize sizeHint() const override { return { m_panelWidth, 100 }; }
    QSize minimumSizeHint() const override { return { 0, 0 }; }

protected:
    void resizeEvent(QResizeEvent *e) override;
    void paintEvent(QPaintEvent *e) override;

private:
    int m_panelWidth = 45;
};
