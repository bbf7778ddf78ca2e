// TRecordingWindow: the window of a long recording, beside the main window (not modal): the
// strip chart (minimum and maximum per pixel from the recording's summary, never the samples),
// a time axis in seconds, minutes or hours, the running statistics and the stop button.
#pragma once

#include <QWidget>

#include <cstdint>
#include <string>

class QComboBox;
class QLabel;
class QPushButton;
class TRecorder;
class TStripSummary;

// 1, 2 or 5 times a power of ten, the smallest not below raw.
double NiceStep(double raw);
// Time axis steps and label texts of the strip chart.
struct TTimeTicks {
    double step = 1.0; // seconds between ticks
    double unit = 1.0; // seconds of the label unit (1, 60, 3600)
    const char* suffix = "s";
};
// A tick step of 1, 2 or 5 times a power of ten (seconds), 1/2/5/10/15/30 minutes or hours for
// the span, giving about `ticks` ticks; the labels in seconds below 2 minutes, minutes below
// 2 hours, hours beyond.
TTimeTicks ChooseTimeTicks(double spanS, int ticks);
std::string TimeTickText(double t, const TTimeTicks& ticks);

class TStripChart : public QWidget {
public:
    explicit TStripChart(QWidget* parent);
    // The recording's summary and sample period (null: nothing to draw).
    void SetSource(const TStripSummary* summary, double periodMs) {
        Summary = summary;
        PeriodMs = periodMs;
    }
    // Seconds shown up to the newest sample; 0: the whole recording.
    void SetSpan(double seconds) { SpanS = seconds; }
    // Draws into an image of the chart's size (the window's paint and the figures use it).
    void Render(QImage& image) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const TStripSummary* Summary = nullptr;
    double PeriodMs = 0.0;
    double SpanS = 0.0;
};

class TRecordingWindow : public QWidget {
public:
    explicit TRecordingWindow(QWidget* parent);
    void SetRecorder(const TRecorder* r);
    // Statistics, counts and the chart from the recorder; status is the line under the chart.
    void Refresh();
    void SetStatusText(const std::string& text);
    void SetRecording(bool on);
    TStripChart* Chart() const { return chart_; }
    QPushButton* StopButton() const { return stop_; }
    QComboBox* SpanBox() const { return span_; }
    std::string StatsText() const;

private:
    const TRecorder* rec_ = nullptr;
    TStripChart* chart_ = nullptr;
    QLabel* file_ = nullptr;
    QLabel* count_ = nullptr;
    QLabel* stats_ = nullptr;
    QLabel* status_ = nullptr;
    QComboBox* span_ = nullptr;
    QPushButton* stop_ = nullptr;
};
