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

protected:
    void resizeEvent(QResizeEvent *e) override;
    void paintEvent(QPaintEvent *e) override;
};
