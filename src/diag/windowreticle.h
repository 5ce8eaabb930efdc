#pragma once

#include <QWidget>

// The drag-to-pick target of the object inspector: a painted bull's eye. Pressing the left
// button on it starts a pick: the target grabs the mouse, the cursor becomes a cross, and
// while the pointer moves the target follows which of the program's widgets lies under it
// (OnWindowChange each time that changes). Releasing the button ends the pick (OnDropSelect).
// The picked widget is known by an opaque handle; FindControl turns it back into the widget
// while that still exists.
class TWindowReticle : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(qulonglong WindowHandle READ WindowHandle)
    Q_PROPERTY(QString WindowClass READ WindowClass)
    Q_PROPERTY(QString WindowCaption READ WindowCaption)
    Q_PROPERTY(QString AncestorClass READ AncestorClass)
    Q_PROPERTY(QString AncestorCaption READ AncestorCaption)
    Q_PROPERTY(qulonglong AncestorHandle READ AncestorHandle)
    Q_PROPERTY(bool Dragging READ Dragging)
public:
    static constexpr int kTextLimit = 255;

    explicit TWindowReticle(QWidget *parent = nullptr);
    ~TWindowReticle() override;

    qulonglong WindowHandle() const { return fWindowHandle; }
    QString WindowClass() const { return fWindowClass; }
    QString WindowCaption() const { return fWindowCaption; }
    QString AncestorClass() const { return fAncestorClass; }
    QString AncestorCaption() const { return fAncestorCaption; }
    qulonglong AncestorHandle() const { return fAncestorHandle; }
    bool Dragging() const { return fDragging; }

    // The program's own widget with that handle, or none (also when it has gone since).
    static QWidget *FindControl(qulonglong handle);

signals:
    void OnWindowChange();
    void OnDropSelect();

protected:
    void paintEvent(QPaintEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void hideEvent(QHideEvent *e) override;

private:
    void ClearWindowInfo();
    // The innermost widget of the program under a point given in the target's coordinates.
    QWidget *WindowAtPoint(const QPoint &pos) const;
    void followPointer(const QPoint &pos);
    void endPick();

    bool fDragging = false;
    qulonglong fWindowHandle = 0;
    QString fWindowCaption;
    QString fWindowClass;
    qulonglong fAncestorHandle = 0;
    QString fAncestorClass;
    QString fAncestorCaption;
};
