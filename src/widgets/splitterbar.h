#pragma once

#include <QWidget>

// A thin drag bar between two panels of a box layout. Dragging it changes the fixed width of
// the panel it sizes (the one on its right, or on its left for a left-hand panel).
class TSplitterBar : public QWidget
{
    Q_OBJECT
public:
    enum class Sizes { RightNeighbour, LeftNeighbour };
    explicit TSplitterBar(QWidget *parent = nullptr, int thickness = 3);
    void setSizedWidget(QWidget *w, Sizes side);
    QSize sizeHint() const override { return { m_thickness, 10 }; }

signals:
    void moved();

protected:
    void mousePressEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void paintEvent(QPaintEvent *e) override;

private:
    QWidget *m_sized = nullptr;
    Sizes m_side = Sizes::RightNeighbour;
    int m_thickness;
    int m_pressX = 0;
    int m_startWidth = 0;
    bool m_dragging = false;
};
