#include "histogram_plot.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

#include "analysis_model.h"
#include "numfmt.h"
#include "tables.h"
#include "ui_font.h"

TCodeSpan HistogramSpan(const TCodeHistogram& h) {
    const double dataLo = h.BinStart(0) - 0.5;
    const double dataHi = h.BinStart(h.counts.size()) - 0.5;
    double lo = std::min(dataLo, h.mean - 4.0 * h.sigma);
    double hi = std::max(dataHi, h.mean + 4.0 * h.sigma);
    const double pad = 0.05 * (hi - lo);
    lo -= pad;
    hi += pad;
    if (hi - lo < 10.0) {
        const double mid = 0.5 * (lo + hi);
        lo = mid - 5.0;
        hi = mid + 5.0;
    }
    return {lo, hi};
}

TVoltUnit VoltAxisUnit(double spanVolts) {
    if (spanVolts < 10e-6) return {"nV", 1e-9};
    if (spanVolts < 10e-3) return {"µV", 1e-6};
    if (spanVolts < 10.0) return {"mV", 1e-3};
    return {"V", 1.0};
}

namespace {

int Decimals(const std::vector<double>& ticks) {
    if (ticks.size() < 2) return 0;
    const double step = ticks[1] - ticks[0];
    return std::max(0, static_cast<int>(-std::floor(std::log10(step) + 1e-9)));
}

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

// A label centred on x stays inside the area.
bool LabelFits(const QFontMetrics& fm, const QString& s, int x, const QRect& area) {
    const int half = fm.horizontalAdvance(s) / 2 + 1;
    return x - half >= area.left() && x + half <= area.right();
}

} // namespace

void DrawCodeHistogram(QPainter& p, const QRect& area, const TCodeHistogram& h, double unit) {
    p.save();
    const int fh = std::max(8, static_cast<int>(std::lround(12.0 * unit)));
    const QFont font = FormFont(fh);
    p.setFont(font);
    const QFontMetrics fm(font, p.device());
    p.setPen(Qt::black);
    if (h.samples == 0 || h.counts.empty()) {
        p.drawText(area, Qt::AlignCenter, QString::fromUtf8("データがありません"));
        p.restore();
        return;
    }

    const std::vector<std::string> summary = HistogramSummaryLines(h);
    const int line = fm.lineSpacing();
    const int summaryHeight = 3 * line + line / 2;

    // Count axis: the widest label sets the left margin.
    const double gaussPeak = h.sigma > 0.0 ? static_cast<double>(h.samples) *
                                                 static_cast<double>(h.codesPerBin) /
                                                 (h.sigma * std::sqrt(2.0 * 3.14159265358979323846))
                                           : 0.0;
    const uint32_t maxCount = *std::max_element(h.counts.begin(), h.counts.end());
    const double yMax = std::max<double>(maxCount, std::min(gaussPeak, 2.0 * maxCount)) * 1.08;
    const std::vector<double> yTicks =
        NiceTicks(0.0, yMax, std::clamp(static_cast<int>(yMax), 1, 5));
    int labelW = fm.horizontalAdvance(QStringLiteral("0"));
    for (double t : yTicks)
        labelW = std::max(labelW, fm.horizontalAdvance(Q(FormatFixed(t, 0))));

    const QRect plot(area.left() + labelW + 2 * line, area.top() + 2 * line + line / 2,
                     area.width() - labelW - 3 * line,
                     area.height() - 5 * line - line / 2 - summaryHeight);
    if (plot.width() < 20 || plot.height() < 20) {
        p.restore();
        return;
    }

    const TCodeSpan span = HistogramSpan(h);
    auto xOf = [&](double code) {
        return plot.left() + (code - span.lo) / (span.hi - span.lo) * plot.width();
    };
    auto yOf = [&](double count) { return plot.bottom() - count / yMax * plot.height(); };

    // Bars.
    const double barW = xOf(static_cast<double>(h.codesPerBin)) - xOf(0.0);
    p.setPen(barW >= 3.0 ? QPen(QColor(40, 70, 130), 0) : Qt::NoPen);
    p.setBrush(QColor(110, 150, 210));
    for (size_t i = 0; i < h.counts.size(); ++i) {
        if (h.counts[i] == 0) continue;
        const double x0 = xOf(h.BinStart(i) - 0.5);
        const QRectF bar(x0, yOf(h.counts[i]), std::max(barW, 1.0),
                         plot.bottom() - yOf(h.counts[i]));
        p.drawRect(bar);
    }

    // The Gaussian of the same mean and sigma, as counts per bin width.
    if (h.sigma > 0.0) {
        QPainterPath curve;
        const int steps = std::max(50, plot.width() / std::max(1, static_cast<int>(unit)));
        for (int s = 0; s <= steps; ++s) {
            const double code = span.lo + (span.hi - span.lo) * s / steps;
            const double z = (code - h.mean) / h.sigma;
            const double y = yOf(std::min(gaussPeak * std::exp(-0.5 * z * z), yMax));
            if (s == 0)
                curve.moveTo(xOf(code), y);
            else
                curve.lineTo(xOf(code), y);
        }
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(200, 30, 30), 1.5 * unit));
        p.drawPath(curve);
        p.setRenderHint(QPainter::Antialiasing, false);
    }

    // The mean.
    p.setPen(QPen(QColor(0, 120, 0), std::max(1.0, unit), Qt::DashLine));
    p.drawLine(QPointF(xOf(h.mean), plot.top()), QPointF(xOf(h.mean), plot.bottom()));

    // Frame, ticks and labels.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::black, 0));
    p.drawRect(plot);
    const int tick = std::max(3, line / 3);
    for (double t : yTicks) {
        const int y = static_cast<int>(std::lround(yOf(t)));
        p.drawLine(plot.left() - tick, y, plot.left(), y);
        const QString s = Q(FormatFixed(t, 0));
        p.drawText(plot.left() - tick - 2 - fm.horizontalAdvance(s), y + fm.ascent() / 2 - 1, s);
    }
    const std::vector<double> codeTicks = NiceTicks(span.lo, span.hi, 5);
    const int codeDecimals = Decimals(codeTicks);
    for (double t : codeTicks) {
        const int x = static_cast<int>(std::lround(xOf(t)));
        p.drawLine(x, plot.bottom(), x, plot.bottom() + tick);
        const QString s = Q(FormatFixed(t, codeDecimals));
        if (!LabelFits(fm, s, x, area)) continue;
        p.drawText(x - fm.horizontalAdvance(s) / 2, plot.bottom() + tick + fm.ascent(), s);
    }
    const double vLo = CodeVolts(span.lo), vHi = CodeVolts(span.hi);
    const TVoltUnit vu = VoltAxisUnit(vHi - vLo);
    const std::vector<double> voltTicks = NiceTicks(vLo / vu.volts, vHi / vu.volts, 5);
    const int voltDecimals = Decimals(voltTicks);
    for (double t : voltTicks) {
        const double code = t * vu.volts / VOLT_PER_CODE + CODE_OF_ZERO_VOLT;
        const int x = static_cast<int>(std::lround(xOf(code)));
        p.drawLine(x, plot.top() - tick, x, plot.top());
        const QString s = Q(FormatFixed(t, voltDecimals));
        if (!LabelFits(fm, s, x, area)) continue;
        p.drawText(x - fm.horizontalAdvance(s) / 2, plot.top() - tick - fm.descent() - 1, s);
    }
    const QString codeTitle = QString::fromUtf8("コード");
    p.drawText(plot.center().x() - fm.horizontalAdvance(codeTitle) / 2,
               plot.bottom() + tick + line + fm.ascent(), codeTitle);
    const QString voltTitle = QString::fromUtf8("電圧 [") + QString::fromUtf8(vu.name) + "]";
    p.drawText(plot.center().x() - fm.horizontalAdvance(voltTitle) / 2,
               plot.top() - tick - line - fm.descent() - 1, voltTitle);
    p.save();
    p.translate(area.left() + fm.ascent(), plot.center().y());
    p.rotate(-90);
    const QString countTitle = QString::fromUtf8("度数");
    p.drawText(-fm.horizontalAdvance(countTitle) / 2, 0, countTitle);
    p.restore();

    // Legend, top right inside the plot.
    {
        const QString gauss = QString::fromUtf8("正規分布（同じ平均・σ）");
        const int lx = plot.right() - fm.horizontalAdvance(gauss) - 3 * line;
        const int ly = plot.top() + line;
        p.setPen(QPen(QColor(200, 30, 30), 1.5 * unit));
        p.drawLine(lx, ly - fm.ascent() / 3, lx + 2 * line, ly - fm.ascent() / 3);
        p.setPen(Qt::black);
        p.drawText(lx + 2 * line + line / 2, ly, gauss);
        const QString mean = QString::fromUtf8("平均");
        p.setPen(QPen(QColor(0, 120, 0), std::max(1.0, unit), Qt::DashLine));
        p.drawLine(lx, ly + line - fm.ascent() / 3, lx + 2 * line, ly + line - fm.ascent() / 3);
        p.setPen(Qt::black);
        p.drawText(lx + 2 * line + line / 2, ly + line, mean);
    }

    // Summary: samples, mean, sigma on the left; group width and missing codes on the right.
    const int sy = area.bottom() - summaryHeight + line;
    const int sx = plot.left();
    for (size_t i = 0; i < summary.size(); ++i) {
        const int col = i < 3 ? 0 : 1;
        const int row = i < 3 ? static_cast<int>(i) : static_cast<int>(i) - 3;
        p.drawText(sx + col * plot.width() * 3 / 5, sy + row * line, Q(summary[i]));
    }
    p.restore();
}

THistogramView::THistogramView(QWidget* parent) : QWidget(parent) {
    setMinimumSize(560, 380);
    setAutoFillBackground(false);
}

void THistogramView::SetHistogram(const TCodeHistogram& h) {
    hist_ = h;
    update();
}

void THistogramView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    DrawCodeHistogram(p, rect().adjusted(4, 4, -4, -4), hist_, 1.0);
}
