#include "analysis_page.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

#include "histogram_plot.h"
#include "ui_font.h"

namespace {

int PointsToPixels(double pt, int dpi) {
    return std::max(1, static_cast<int>(std::lround(pt * dpi / 72.0)));
}

// The table in box; returns the bottom of its last row.
int DrawFiguresTable(QPainter& p, const QRect& box, int dpi, const TAnalysisResult& r) {
    const QFont font = FormFont(PointsToPixels(10.0, dpi));
    p.setFont(font);
    const QFontMetrics fm(font, p.device());
    const int pitch = fm.height() * 13 / 10;
    const std::vector<TFigureRow> rows = FigureRows(r);
    int nameW = 0, valueW = 0;
    for (const TFigureRow& row : rows) {
        nameW = std::max(nameW, fm.horizontalAdvance(QString::fromStdString(row.name)));
        valueW = std::max(valueW, fm.horizontalAdvance(QString::fromStdString(row.value)));
    }
    const int gap = fm.horizontalAdvance(QStringLiteral("MM"));
    const int valueRight = box.left() + nameW + gap + valueW;
    int y = box.top();
    p.setPen(QPen(QColor(160, 160, 160), 0));
    for (size_t i = 0; i < rows.size(); ++i) {
        if (i % 2 == 1)
            p.fillRect(QRect(box.left(), y, valueRight + gap * 3 - box.left(), pitch),
                       QColor(240, 240, 240));
        p.setPen(Qt::black);
        const int base = y + (pitch + fm.ascent() - fm.descent()) / 2;
        p.drawText(box.left() + gap / 4, base, QString::fromStdString(rows[i].name));
        const QString value = QString::fromStdString(rows[i].value);
        p.drawText(valueRight - fm.horizontalAdvance(value), base, value);
        p.drawText(valueRight + gap / 2, base, QString::fromStdString(rows[i].unit));
        y += pitch;
    }
    return y;
}

} // namespace

void DrawAnalysisPage(QPainter& p, const QRect& page, int dpi, const TAnalysisResult& r) {
    p.save();
    const QFont title = FormFont(PointsToPixels(14.0, dpi), true);
    p.setFont(title);
    p.setPen(Qt::black);
    const QFontMetrics tm(title, p.device());
    const int margin = PointsToPixels(14.0, dpi); // about 5 mm
    QRect body = page.adjusted(margin, margin, -margin, -margin);
    p.drawText(body.left(), body.top() + tm.ascent(),
               QString::fromUtf8("解析：特性とヒストグラム") +
                   (r.averagedBlocks > 0
                        ? QString::fromUtf8("（") + QString::fromStdString(AveragedBlocksText(r)) +
                              QString::fromUtf8("）")
                        : QString()));
    body.setTop(body.top() + tm.height() * 2);

    const double unit = dpi / 96.0;
    if (body.width() > body.height()) {
        // Landscape: the table on the left, the histogram beside it.
        const QRect tableBox(body.left(), body.top(), body.width() * 2 / 5, body.height());
        DrawFiguresTable(p, tableBox, dpi, r);
        const QRect plot(tableBox.right() + margin, body.top(),
                         body.right() - tableBox.right() - margin, body.height());
        DrawCodeHistogram(p, plot, r.histogram, unit);
    } else {
        const int tableBottom = DrawFiguresTable(p, body, dpi, r);
        const QRect plot(body.left(), tableBottom + margin, body.width(),
                         std::min(body.bottom() - tableBottom - margin, body.width() * 3 / 4));
        DrawCodeHistogram(p, plot, r.histogram, unit);
    }
    p.restore();
}
