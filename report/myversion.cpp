#include "myversion.h"

#include <QMouseEvent>
#include <QPainter>

#include "ui_font.h"

TFormVersion::TFormVersion(QWidget* parent) : QDialog(parent) {
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setFixedSize(CLIENT_WIDTH, CLIENT_HEIGHT);
    setFont(FormFont(12));
    setModal(true);
    setWindowTitle(GetProductName() + QString::fromUtf8("について"));
}

QString TFormVersion::MakerName() {
    return QStringLiteral("Kalvex project");
}
QString TFormVersion::MakerAddress() {
    return QStringLiteral("https://kalvex.example/");
}

void TFormVersion::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (parentWidget()) {
        const QRect p = parentWidget()->frameGeometry();
        move(p.center() - QPoint(width() / 2, height() / 2));
    }
}

void TFormVersion::paintEvent(QPaintEvent*) {
    setWindowTitle(GetProductName() + QString::fromUtf8("について"));
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Button));
    p.setPen(Qt::black);
    const auto draw = [&p](int x, int y, const QFont& f, const QString& text) {
        p.setFont(f);
        // Positions are the top-left corners of the texts.
        p.drawText(QPoint(x, y + QFontMetrics(f).ascent()), text);
    };
    draw(40, 40, FormFont(15), MakerName());
    draw(20, 65, FormFont(12), MakerAddress());
    draw(60, 15, FormFont(16, true), GetProductName() + QStringLiteral(" ") + GetVersionText());
}

void TFormVersion::mousePressEvent(QMouseEvent* event) {
    event->accept();
    accept();
}
