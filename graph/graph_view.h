// The visible part of a graph's horizontal axis (zoom and pan), the automatic frequency
// range, the tick labels of a zoomed or automatic axis and the texts of the marker and cursor
// readouts. No Qt.
//
// A view maps values to pixels linearly, or linearly in log10 of the value. Zoom, pan and
// reset work in that mapped coordinate, so a logarithmic axis zooms by ratios. The visible
// range never leaves the full range and never gets narrower than the minimum span.
#pragma once

#include <string>
#include <vector>

class TAxisView {
public:
    // Full range lo..hi (hi > lo, both positive on a logarithmic axis) and the narrowest
    // visible span in value units. A different full range or scale resets the view; the
    // same one keeps it. False (and an unusable view) for a range that cannot be mapped.
    bool SetFull(double lo, double hi, bool log, double minSpan);
    void Reset();

    bool Valid() const { return valid_; }
    bool IsLog() const { return log_; }
    // True when the visible range is the full range.
    bool IsFull() const;
    double Lo() const { return Value(u0_); }
    double Hi() const { return Value(u1_); }
    double FullLo() const { return Value(f0_); }
    double FullHi() const { return Value(f1_); }

    // Pixel position (unrounded) of a value on a width of W pixels, and back.
    double ToPixel(double v, int W) const;
    double FromPixel(double x, int W) const;

    // Shows the span between two pixel positions; a span under 3 pixels changes nothing.
    // True when the view changed.
    bool ZoomSpan(double x0, double x1, int W);
    // Zooms by factor (< 1 in, > 1 out) keeping the value under pixel x where it is.
    bool ZoomAt(double x, int W, double factor);
    // Moves the view by dx pixels (the content follows the pointer), clamped to the full range.
    bool Pan(double dx, int W);
    // Moves the view, its span kept, so that v lies in its middle (as far as the data allow).
    bool CentreOn(double v);

private:
    double Coord(double v) const;
    double Value(double u) const;
    // Clamps a candidate range [a, b] (mapped units) into the full range with the minimum
    // span and takes it; true when it differs from the current one.
    bool Take(double a, double b);

    bool valid_ = false, log_ = false;
    double f0_ = 0, f1_ = 1; // full range, mapped
    double u0_ = 0, u1_ = 1; // visible range, mapped
    double minSpan_ = 0;     // value units
};

// Frequency range of the automatic axis: delta f rounded down to 1, 2 or 5 times a power of
// ten, up to half the sampling rate (1000 / (2 periodMs)). A linear axis starts at 0. False
// when the block gives no usable range.
struct TFreqRange {
    double lo = 0, hi = 0;
};
bool AutoFreqRange(double deltaF, double periodMs, bool log, TFreqRange& out);
// Largest 1, 2 or 5 times a power of ten at or below v (v > 0); 0 otherwise.
double FloorOneTwoFive(double v);

// A frequency as the axis labels write it: up to three significant digits, in kHz from 1 kHz
// ("0.002Hz", "2.5Hz", "500Hz", "2.5kHz"); without unit the bare number ("2" for 2 kHz).
std::string FreqAxisText(double f, bool unit);

// Labels of a zoomed or automatic frequency axis: the start, ticks strictly inside, the end.
// Logarithmic: ticks at 1, 2, 5 times powers of ten, the powers with their unit; linear:
// multiples of a 1-2-5 step giving four to ten parts, numbers in Hz, or in kHz when the end
// is 2 kHz or more, the unit on the end label only.
struct TAxisTick {
    double value = 0;
    std::string text;
};
std::vector<TAxisTick> FreqAxisTicks(double lo, double hi, bool log);

// Grid lines of a zoomed or automatic axis, as pixel positions on W pixels, strictly inside.
// Logarithmic: 1, 1.5, 2, 3, ... 9 times powers of ten (major: the powers); linear: multiples
// of the grid step for the visible span. At most maxLines lines; major flags in the same order.
struct TViewGrid {
    std::vector<int> pos;
    std::vector<bool> major;
};
TViewGrid FreqViewGrid(const TAxisView& v, int W, int maxLines);
// Step of the linear grid for a visible span (any positive span).
double LinGridStep(double span);

// Left edges and visibility of axis labels along a box: label 0 starts at the left edge, the
// last one ends at the right edge, inner ones are centred on their position and shown only
// clear (gap pixels) of the label shown before them and of the last label.
struct TAxisLabelPlace {
    int left = 0;
    bool visible = false;
};
std::vector<TAxisLabelPlace> PlaceAxisLabels(const std::vector<double>& centre,
                                             const std::vector<int>& width, int left, int W,
                                             int gap);

// A time label of a zoomed waveform (t and span in ms): the units of FormatTimeSpan, with
// the decimals that a fiftieth of the visible span needs ("3.27500s" for 3 ms at 3.275 s).
std::string ZoomTimeText(double t, double span);

// Readout texts drawn inside the graphs.
// Signed frequency difference "Δf=12.207Hz" (three decimals below 1 kHz, kHz above).
std::string DeltaFreqText(double df);
// "ΔdB=-45.32dB".
std::string DeltadBText(double ddb);
// "Δt=12.34ms" (signed, as FormatTimeSpan writes a span).
std::string DeltaTimeText(double dtMs);
// "1/Δt=81.0Hz"; "1/Δt=---" for a zero span.
std::string InverseTimeText(double dtMs);
// "ΔV=1.234mV" with V, mV, uV or nV by size; volts false: "Δコード=1234" (codes).
std::string DeltaLevelText(double d, bool volts);
