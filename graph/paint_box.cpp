#include "paint_box.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

namespace {

// A one-pixel frame along the inside of r, like a brush frame.
void FrameRectangle(QPainter& p, const QRect& r, const QColor& c) {
    if (r.width() <= 0 || r.height() <= 0) return;
    p.fillRect(QRect(r.left(), r.top(), r.width(), 1), c);
    p.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), c);
    p.fillRect(QRect(r.left(), r.top(), 1, r.height()), c);
    p.fillRect(QRect(r.right(), r.top(), 1, r.height()), c);
}

} // namespace

TPaintBox::TPaintBox(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::ClickFocus);
}

void TPaintBox::SetOverlay(std::function<void(QPainter&)> overlay) {
    Overlay = std::move(overlay);
    update();
}

void TPaintBox::ShowBlank() {
    Bitmap = nullptr;
    update();
}

void TPaintBox::ShowBitmap(const QImage* bitmap, const QRect& frame, const QRect& dest,
                           const QRect& src) {
    Bitmap = bitmap;
    FrameRect = frame;
    DestRect = dest;
    SrcRect = src;
    update();
}

void TPaintBox::PaintOn(QPainter& p) const {
    if (Bitmap == nullptr) {
        p.fillRect(rect(), Qt::white);
        FrameRectangle(p, rect(), Qt::black);
        return;
    }
    FrameRectangle(p, FrameRect, Qt::black);
    p.fillRect(DestRect, Qt::white); // where a smaller bitmap does not reach
    if (Bitmap->isNull()) return;
    p.drawImage(DestRect.topLeft(), *Bitmap, SrcRect);
    if (Overlay) {
        p.save();
        p.setClipRect(DestRect);
        p.translate(DestRect.topLeft() - SrcRect.topLeft());
        Overlay(p);
        p.restore();
    }
}

QImage TPaintBox::Render() const {
    QImage img(size(), QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    PaintOn(p);
    return img;
}

void TPaintBox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    PaintOn(p);
}

void TPaintBox::mousePressEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    emit MouseDown(pos.x(), pos.y(), event->button());
    emit MousePressed(pos.x(), pos.y(), event->button(), event->modifiers());
}

void TPaintBox::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    emit MouseMoved(pos.x(), pos.y());
}

void TPaintBox::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    emit MouseReleased(pos.x(), pos.y());
}

void TPaintBox::mouseDoubleClickEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    emit DoubleClicked(pos.x(), pos.y());
}

void TPaintBox::wheelEvent(QWheelEvent* event) {
    const QPoint pos = event->position().toPoint();
    emit WheelTurned(pos.x(), pos.y(), event->angleDelta().y());
    event->accept();
}

void TPaintBox::keyPressEvent(QKeyEvent* event) {
    emit KeyPressed(event->key(), event->modifiers());
    QWidget::keyPressEvent(event);
}
