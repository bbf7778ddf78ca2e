#include "form_controls.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

TRadioGroup::TRadioGroup(const QString& caption, const QStringList& items, QWidget* parent)
    : QGroupBox(caption, parent) {
    group_.setExclusive(true);
    int id = 0;
    for (const QString& text : items) {
        auto* b = new QRadioButton(text, this);
        group_.addButton(b, id++);
        buttons_.push_back(b);
        connect(b, &QRadioButton::toggled, this, [this](bool on) {
            if (on) emit changed();
        });
    }
    Arrange();
}

int TRadioGroup::ItemIndex() const {
    return group_.checkedId();
}

void TRadioGroup::SetItemIndex(int index) {
    if (index >= 0 && index < Count()) {
        buttons_[static_cast<size_t>(index)]->setChecked(true);
        return;
    }
    // An exclusive group refuses to uncheck its last button.
    group_.setExclusive(false);
    for (auto* b : buttons_)
        b->setChecked(false);
    group_.setExclusive(true);
}

void TRadioGroup::resizeEvent(QResizeEvent* e) {
    QGroupBox::resizeEvent(e);
    Arrange();
}

// One column: the height under the caption is shared evenly, the remainder split above.
void TRadioGroup::Arrange() {
    if (buttons_.empty()) return;
    const int n = Count();
    const int textHeight = QFontMetrics(font()).height();
    const int room = height() - textHeight - 5;
    const int rowHeight = room > 0 ? room / n : 0;
    const int topMargin = textHeight + 1 + (room > 0 ? (room % n) / 2 : 0);
    for (int i = 0; i < n; ++i)
        buttons_[static_cast<size_t>(i)]->setGeometry(8, topMargin + i * rowHeight, width() - 10,
                                                      rowHeight);
}

TColorBox::TColorBox(QWidget* parent) : QWidget(parent) {}

void TColorBox::SetColor(int32_t bgr) {
    color_ = bgr;
    update();
}

void TColorBox::paintEvent(QPaintEvent*) {
    if (!color_) return;
    QPainter p(this);
    p.fillRect(rect(), ColorFromBGR(*color_));
    p.setPen(Qt::black);
    p.setBrush(Qt::NoBrush);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

void TColorBox::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) pressed_ = true;
}

void TColorBox::mouseReleaseEvent(QMouseEvent* e) {
    const bool wasPressed = pressed_;
    pressed_ = false;
    if (wasPressed && e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()))
        emit clicked();
}

QColor ColorFromBGR(int32_t bgr) {
    const auto v = static_cast<uint32_t>(bgr);
    return QColor(static_cast<int>(v & 0xFFu), static_cast<int>((v >> 8) & 0xFFu),
                  static_cast<int>((v >> 16) & 0xFFu));
}

void CentreOnDesktop(QWidget* w) {
    QScreen* screen = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    const QRect frame = w->frameGeometry();
    // move() places the frame's top-left corner for a top-level window.
    w->move(area.center() - QPoint(frame.width() / 2, frame.height() / 2));
}
