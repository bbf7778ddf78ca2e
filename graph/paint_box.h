// A paint box: a plain widget that frames itself and copies a part of an off-screen bitmap
// when it paints. The bitmap belongs to whoever draws it; the box only shows it.
#pragma once

#include <QImage>
#include <QRect>
#include <QWidget>
#include <functional>

class TPaintBox : public QWidget {
    Q_OBJECT
public:
    explicit TPaintBox(QWidget* parent = nullptr);

    // White with a black frame at the next paint, until ShowBitmap.
    void ShowBlank();
    // At each paint: a one-pixel black frame inside frame, then src of the bitmap copied to
    // the top-left corner of dest. The bitmap must outlive the box or be replaced by
    // ShowBlank / ShowBitmap(nullptr, ...).
    void ShowBitmap(const QImage* bitmap, const QRect& frame, const QRect& dest, const QRect& src);
    // Drawn over the bitmap at each paint, in bitmap coordinates (nothing while blank).
    void SetOverlay(std::function<void(QPainter&)> overlay);
    // What the next paint will show, as an image of the box's size.
    QImage Render() const;

signals:
    // A mouse button was pressed at (x, y) in box coordinates.
    void MouseDown(int x, int y, Qt::MouseButton button);
    // The same with the keyboard modifiers, then moves with a button held, the release, the
    // wheel (delta in eighths of a degree), a double click and a key while the box has focus.
    void MousePressed(int x, int y, Qt::MouseButton button, Qt::KeyboardModifiers mods);
    void MouseMoved(int x, int y);
    void MouseReleased(int x, int y);
    void WheelTurned(int x, int y, int delta);
    void DoubleClicked(int x, int y);
    void KeyPressed(int key, Qt::KeyboardModifiers mods);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void PaintOn(QPainter& p) const;

    const QImage* Bitmap = nullptr;
    QRect FrameRect, DestRect, SrcRect;
    std::function<void(QPainter&)> Overlay;
};
