// The code histogram drawing: bars of counts per code or per group, the Gaussian of the same
// mean and sigma over them, the mean, axes in codes (below) and volts (above), and the summary
// lines. One drawing for the window and the printed page.
#pragma once

#include <QRect>
#include <QWidget>

#include "histogram.h"

class QPainter;

// The code range the plot spans: the data and the Gaussian out to 4 sigma, a margin on
// either side, at least 10 codes.
struct TCodeSpan {
    double lo = 0.0, hi = 0.0;
};
TCodeSpan HistogramSpan(const TCodeHistogram& h);

// The unit the volt axis uses for a span of volts: "nV" below 10 µV, "µV" below 10 mV, "mV"
// below 10 V, else "V", with its factor in volts.
struct TVoltUnit {
    const char* name;
    double volts;
};
TVoltUnit VoltAxisUnit(double spanVolts);

// Draws into area. unit: pixels per screen pixel (1 on screen, dpi / 96 in print). Without a
// block (samples 0) only the "no data" text.
void DrawCodeHistogram(QPainter& p, const QRect& area, const TCodeHistogram& h, double unit);

class THistogramView : public QWidget {
    Q_OBJECT
public:
    explicit THistogramView(QWidget* parent = nullptr);
    void SetHistogram(const TCodeHistogram& h);
    const TCodeHistogram& Histogram() const { return hist_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TCodeHistogram hist_;
};
