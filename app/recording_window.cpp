#include "recording_window.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "readout_text.h"
#include "recorder.h"
#include "tables.h"
#include "ui_font.h"

namespace {

constexpr int kLeft = 78, kRight = 10, kTop = 10, kBottom = 22;

double CodeVolts(uint32_t c) {
    return (static_cast<double>(c) - CODE_OF_ZERO_VOLT) * VOLT_PER_CODE;
}

QString Utf8(const std::string& s) {
    return QString::fromStdString(s);
}

} // namespace

double NiceStep(double raw) {
    if (!(raw > 0.0) || !std::isfinite(raw)) return 1.0;
    const double p = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0})
        if (m * p >= raw * (1.0 - 1e-12)) return m * p;
    return 10.0 * p;
}

TTimeTicks ChooseTimeTicks(double spanS, int ticks) {
    TTimeTicks t;
    if (!(spanS > 0.0) || ticks < 1) return t;
    if (spanS >= 7200.0) {
        t.unit = 3600.0;
        t.suffix = "h";
    } else if (spanS >= 120.0) {
        t.unit = 60.0;
        t.suffix = "min";
    }
    double step = NiceStep(spanS / ticks / t.unit);
    // Within minutes and hours, whole 15 and 30 read better than 20 and 50.
    if (t.unit > 1.0 && step >= 10.0 && step < 60.0) step = step <= 15.0 ? 15.0 : 30.0;
    t.step = step * t.unit;
    return t;
}

std::string TimeTickText(double t, const TTimeTicks& ticks) {
    const double v = t / ticks.unit;
    const double frac = ticks.step / ticks.unit;
    const int decimals = frac >= 1.0 ? 0 : static_cast<int>(std::ceil(-std::log10(frac) - 1e-9));
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.*f%s", decimals, v, ticks.suffix);
    return buf;
}

TStripChart::TStripChart(QWidget* parent) : QWidget(parent) {
    setMinimumSize(480, 220);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TStripChart::paintEvent(QPaintEvent*) {
    QImage image(size(), QImage::Format_RGB32);
    Render(image);
    QPainter p(this);
    p.drawImage(0, 0, image);
}

void TStripChart::Render(QImage& image) const {
    image.fill(Qt::white);
    QPainter p(&image);
    p.setFont(font());
    const int W = image.width(), H = image.height();
    const QRect plot(kLeft, kTop, std::max(1, W - kLeft - kRight), std::max(1, H - kTop - kBottom));
    p.fillRect(plot, QColor(0, 0, 0));
    const uint64_t total = Summary ? Summary->Count() : 0;
    const double periodS = PeriodMs / 1000.0;
    if (total == 0 || !(periodS > 0.0)) {
        p.setPen(QColor(160, 160, 160));
        p.drawText(plot, Qt::AlignCenter, QString::fromUtf8("データがありません"));
        return;
    }
    uint64_t first = 0;
    if (SpanS > 0.0) {
        const double want = SpanS / periodS;
        if (want < static_cast<double>(total)) first = total - static_cast<uint64_t>(want);
    }
    const int cols = plot.width();
    std::vector<TMinMax> mm;
    Summary->Query(first, total, cols, mm);
    TMinMax all;
    for (const TMinMax& m : mm)
        if (!m.Empty()) all.Add(m);
    double lo = CodeVolts(all.lo), hi = CodeVolts(all.hi);
    const double pad = std::max((hi - lo) * 0.05, 2.0 * VOLT_PER_CODE);
    lo -= pad;
    hi += pad;
    const double yScale = plot.height() / (hi - lo);
    auto yOf = [&](double v) {
        return plot.bottom() - static_cast<int>(std::lround((v - lo) * yScale));
    };

    // Grid and axes.
    const double t0 = static_cast<double>(first) * periodS,
                 t1 = static_cast<double>(total) * periodS;
    const TTimeTicks ticks = ChooseTimeTicks(std::max(t1 - t0, periodS), 6);
    p.setPen(QColor(0, 90, 0));
    const double firstTick = std::ceil(t0 / ticks.step) * ticks.step;
    const double xScale = cols / std::max(t1 - t0, periodS);
    for (double t = firstTick; t <= t1 + 1e-9; t += ticks.step) {
        const int x = plot.left() + static_cast<int>(std::lround((t - t0) * xScale));
        p.setPen(QColor(0, 90, 0));
        p.drawLine(x, plot.top(), x, plot.bottom());
        p.setPen(Qt::black);
        const QString label = Utf8(TimeTickText(t, ticks));
        p.drawText(QRect(x - 40, plot.bottom() + 2, 80, kBottom - 2),
                   Qt::AlignHCenter | Qt::AlignTop, label);
    }
    const double vStep = NiceStep((hi - lo) / 4.0);
    for (double k = std::ceil(lo / vStep); k * vStep <= hi; k += 1.0) {
        const double v = k * vStep;
        const int y = yOf(v);
        p.setPen(QColor(0, 90, 0));
        p.drawLine(plot.left(), y, plot.right(), y);
        p.setPen(Qt::black);
        p.drawText(QRect(0, y - 8, kLeft - 4, 16), Qt::AlignRight | Qt::AlignVCenter,
                   k == 0.0 ? QStringLiteral("0 V") : Utf8(VoltUnitText(v * 1e6)));
    }

    // Minimum to maximum in every column.
    p.setPen(QColor(255, 255, 0));
    for (int c = 0; c < cols && c < static_cast<int>(mm.size()); ++c) {
        const TMinMax& m = mm[static_cast<size_t>(c)];
        if (m.Empty()) continue;
        const int x = plot.left() + c;
        p.drawLine(x, yOf(CodeVolts(m.hi)), x, yOf(CodeVolts(m.lo)));
    }
}

TRecordingWindow::TRecordingWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle(QString::fromUtf8("記録"));
    setFont(FormFont(12));
    auto* v = new QVBoxLayout(this);
    file_ = new QLabel(this);
    file_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    v->addWidget(file_);
    chart_ = new TStripChart(this);
    v->addWidget(chart_, 1);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(QString::fromUtf8("表示範囲"), this));
    span_ = new QComboBox(this);
    span_->addItem(QString::fromUtf8("全体"), 0.0);
    span_->addItem(QString::fromUtf8("最新10秒"), 10.0);
    span_->addItem(QString::fromUtf8("最新1分"), 60.0);
    span_->addItem(QString::fromUtf8("最新10分"), 600.0);
    span_->addItem(QString::fromUtf8("最新1時間"), 3600.0);
    connect(span_, &QComboBox::currentIndexChanged, this, [this](int i) {
        chart_->SetSpan(span_->itemData(i).toDouble());
        chart_->update();
    });
    row->addWidget(span_);
    row->addStretch(1);
    stop_ = new QPushButton(QString::fromUtf8("記録停止"), this);
    row->addWidget(stop_);
    v->addLayout(row);
    count_ = new QLabel(this);
    stats_ = new QLabel(this);
    status_ = new QLabel(this);
    v->addWidget(count_);
    v->addWidget(stats_);
    v->addWidget(status_);
    resize(640, 420);
}

void TRecordingWindow::SetRecorder(const TRecorder* r) {
    rec_ = r;
    if (r)
        chart_->SetSource(&r->Strip(), r->PeriodMs());
    else
        chart_->SetSource(nullptr, 0.0);
    Refresh();
}

void TRecordingWindow::SetRecording(bool on) {
    stop_->setEnabled(on);
}

void TRecordingWindow::SetStatusText(const std::string& text) {
    status_->setText(Utf8(text));
}

namespace {

std::string DurationText(double s) {
    const auto total = static_cast<long long>(std::floor(s));
    char buf[48];
    std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld", total / 3600, total / 60 % 60, total % 60);
    return buf;
}

} // namespace

std::string TRecordingWindow::StatsText() const {
    if (!rec_ || rec_->Stats().Count() == 0) return "平均：－　/RMSノイズ：－　/p-p値：－";
    const TRunningStats& st = rec_->Stats();
    return "平均：" + VoltUnitText(st.MeanValue() * 1e6) + "　/RMSノイズ：" +
           VoltUnitText(st.StdDev() * 1e6) + "　/p-p値：" + VoltUnitText(st.PeakToPeak() * 1e6);
}

void TRecordingWindow::Refresh() {
    if (!rec_) return;
    file_->setText(QString::fromUtf8("ファイル：") + Utf8(rec_->Path()));
    std::string c = "サンプル数：" + std::to_string(rec_->Samples()) + "　/記録時間：" +
                    DurationText(rec_->Seconds()) + "　/" + rec_->Header().rateText;
    if (rec_->Runs() > 1) c += "　/区切り：" + std::to_string(rec_->Runs() - 1);
    count_->setText(Utf8(c));
    stats_->setText(Utf8(StatsText()));
    chart_->update();
}
