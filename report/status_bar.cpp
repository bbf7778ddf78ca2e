#include "status_bar.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <algorithm>

namespace {

constexpr int kSpacing = 2;
constexpr int kTextPad = 10; // frame and indent around a panel's text

} // namespace

TStatusBar::TStatusBar(QWidget* parent) : QWidget(parent) {
    setFixedHeight(BAR_HEIGHT);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 1, 0, 1);
    layout->setSpacing(kSpacing);
    for (size_t i = 0; i < panels_.size(); ++i) {
        QLabel*& p = panels_[i];
        p = new QLabel(this);
        p->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        p->setFixedWidth(INITIAL_PANEL_WIDTH);
        p->setTextFormat(Qt::PlainText);
        p->setIndent(2);
        layout->addWidget(p);
        wanted_[i] = INITIAL_PANEL_WIDTH;
        fits_[i] = true;
    }
    layout->addStretch(1);
}

void TStatusBar::SetPanel(int index, const QString& text, int width) {
    if (index < 0 || index >= PANEL_COUNT) return;
    texts_[static_cast<size_t>(index)] = text;
    wanted_[static_cast<size_t>(index)] = width;
    Relayout();
}

void TStatusBar::Relayout() {
    // Before the bar has its place it lends every panel what it asks for.
    int left = width() > 0 ? width() : 1 << 20;
    for (size_t i = 0; i < panels_.size(); ++i) {
        QLabel* p = panels_[i];
        const QString& text = texts_[i];
        const int w = std::max(0, std::min(wanted_[i], left));
        left -= w + kSpacing;
        p->setFixedWidth(w);
        QFont f = font();
        const int room = w - kTextPad;
        fits_[i] = QFontMetrics(f).horizontalAdvance(text) <= room || w >= wanted_[i];
        QString shown = text;
        if (!fits_[i]) {
            int px = QFontInfo(f).pixelSize();
            while (px > MIN_FONT_PIXELS && QFontMetrics(f).horizontalAdvance(text) > room)
                f.setPixelSize(--px);
            shown = QFontMetrics(f).elidedText(text, Qt::ElideRight, std::max(room, 0));
        }
        p->setFont(f);
        p->setText(shown);
        p->setToolTip(fits_[i] ? QString() : text);
    }
}

void TStatusBar::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Relayout();
}

QString TStatusBar::PanelText(int index) const {
    if (index < 0 || index >= PANEL_COUNT) return {};
    return texts_[static_cast<size_t>(index)];
}

int TStatusBar::PanelWidth(int index) const {
    if (index < 0 || index >= PANEL_COUNT) return 0;
    return panels_[static_cast<size_t>(index)]->width();
}

int TStatusBar::PanelWantedWidth(int index) const {
    if (index < 0 || index >= PANEL_COUNT) return 0;
    return wanted_[static_cast<size_t>(index)];
}

bool TStatusBar::PanelFits(int index) const {
    if (index < 0 || index >= PANEL_COUNT) return false;
    return fits_[static_cast<size_t>(index)];
}

int TStatusBar::TextWidth(const QString& text) const {
    return QFontMetrics(font()).horizontalAdvance(text);
}

void TStatusBar::mousePressEvent(QMouseEvent* event) {
    QWidget::mousePressEvent(event);
    emit clicked();
}
