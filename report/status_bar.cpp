#include "status_bar.h"

#include <QFontMetrics>
#include <QHBoxLayout>

TStatusBar::TStatusBar(QWidget* parent) : QWidget(parent) {
    setFixedHeight(BAR_HEIGHT);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 1, 0, 1);
    layout->setSpacing(2);
    for (auto& p : panels_) {
        p = new QLabel(this);
        p->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        p->setFixedWidth(INITIAL_PANEL_WIDTH);
        p->setTextFormat(Qt::PlainText);
        p->setIndent(2);
        layout->addWidget(p);
    }
    layout->addStretch(1);
}

void TStatusBar::SetPanel(int index, const QString& text, int width) {
    if (index < 0 || index >= PANEL_COUNT) return;
    panels_[static_cast<size_t>(index)]->setText(text);
    panels_[static_cast<size_t>(index)]->setFixedWidth(width);
}

QString TStatusBar::PanelText(int index) const {
    if (index < 0 || index >= PANEL_COUNT) return {};
    return panels_[static_cast<size_t>(index)]->text();
}

int TStatusBar::PanelWidth(int index) const {
    if (index < 0 || index >= PANEL_COUNT) return 0;
    return panels_[static_cast<size_t>(index)]->width();
}

int TStatusBar::TextWidth(const QString& text) const {
    return QFontMetrics(font()).horizontalAdvance(text);
}

void TStatusBar::mousePressEvent(QMouseEvent* event) {
    QWidget::mousePressEvent(event);
    emit clicked();
}
