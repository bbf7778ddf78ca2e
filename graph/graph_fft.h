// TGraph_FFT: the spectrum and waveform graphs of the main window, their axis labels and the
// peak readouts.
//
// Usage (main window):
//   Graph = std::make_unique<TGraph_FFT>(this, PaintBox1, PaintBox3, GraphLabels,
//       &Rec->RefData, &Rec->SigData, &Rec->ADSetting, &Rec->FFTSetting);
//   after a resize or a change of settings or data:
//       Graph->UpdateScales(); Graph->LayoutGraphs(); Graph->ResizeBitmaps();
//       Graph->ClearGraphs(); Graph->DrawGraphs(fDataValid, fRefValid); Graph->PaintGraphs();
//   readouts: Graph->ShowPeak(Rec->SigData, PeakEdits, LabelPeakVolt), PeakForward, PeakBack;
//       a press in PaintBox1 (TPaintBox::MouseDown): ShowBin(XToBin(PaintBox1->width(), x), ...)
//   printing: TGraphBitmap bmp(B, G); Graph->PrintWave(bmp); ... Graph->PrintSpectrum(bmp);
//       Graph->PrintFreqLabels(painter, s, {X1, top, X2, bottom}); likewise dB, volt, time.
//   zoom, pan, markers, cursors: the object takes the boxes' mouse events itself; the window
//       sets OnSpectrumClick (a plain click: snap the readouts), OnSpectrumStep (arrow keys)
//       and ShownBlocks (which blocks the graphs show), and SetExtSetting(&Rec->ExtSetting).
// The paint boxes and labels stay the main window's; the graph object only positions, captions
// and draws them. No TADC is needed: sample periods come from the rate table directly.
#pragma once

#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "axis_labels.h"
#include "graph_scales.h"
#include "graph_view.h"
#include "paint_box.h"
#include "record.h"
#include "trace_draw.h"

constexpr int GRAPH_LABEL_COUNT = FREQ_LABEL_COUNT + DB_LABEL_COUNT + 6;
using TGraphLabels = std::array<QLabel*, GRAPH_LABEL_COUNT>;

// An off-screen bitmap with the one canvas property that outlives a drawing: the pen width.
struct TGraphBitmap {
    QImage Image{1, 1, QImage::Format_RGB32};
    int PenWidth = 1;
    TGraphBitmap() = default;
    TGraphBitmap(int w, int h) { SetSize(w, h); }
    // At least 1 x 1; the content is undefined afterwards, the pen width stays.
    void SetSize(int w, int h);
    int Width() const { return Image.width(); }
    int Height() const { return Image.height(); }
};

// The peak readouts: volt, dB and Hz edits and the unit text of the volt readout.
struct TPeakEdits {
    QLineEdit* EditPeakVolt = nullptr;
    QLineEdit* EditPeakdB = nullptr;
    QLineEdit* EditPeakHz = nullptr;
    std::string PeakVoltUnit;
};

class TGraph_FFT {
public:
    TGraph_FFT(QWidget* mainForm, TPaintBox* paintBox1, TPaintBox* paintBox3,
               const TGraphLabels& graphLabels, const TSignalData* refData,
               const TSignalData* sigData, const TADSetting* adSetting,
               const TFFTSetting* fftSetting);
    ~TGraph_FFT();
    // The window's outer size as the layout sees it (the frame of the window by default).
    void SetMainFormSize(std::function<QSize()> size) { MainFormSize = std::move(size); }
    TGraph_FFT(const TGraph_FFT&) = delete;
    TGraph_FFT& operator=(const TGraph_FFT&) = delete;

    // Object, layout, scales (graph_fft.cpp).
    void ResizeBitmaps();
    void PaintGraphs();
    void PaintSpectrum();
    void PaintWave();
    void ClearGraphs();
    void UpdateScales();
    void LayoutGraphs();
    uint32_t GetCodeMax();
    uint32_t GetCodeMin();
    // Redraw for whatever data the flags say is held (the main window's rule).
    void DrawGraphs(bool dataValid, bool refValid);

    // Waveform (graph_wave.cpp). which: 0 measurement, 1 reference.
    void DrawWave(int which);
    void DrawWaveWithRef();
    void PrintWave(TGraphBitmap& bitmap);

    // Spectrum (graph_spectrum.cpp).
    void DrawSpectrum(int which);
    void DrawSpectrumWithRef();
    void PrintSpectrum(TGraphBitmap& bitmap);

    // Peak readouts (graph_peak.cpp).
    void ShowPeak(const TSignalData& sig, TPeakEdits& edits, QLabel* labelPeakVolt);
    void PeakForward(const TSignalData& sig, TPeakEdits& edits, QLabel* labelPeakVolt);
    void PeakBack(const TSignalData& sig, TPeakEdits& edits, QLabel* labelPeakVolt);
    // A negative bin (no bin under the mouse) changes nothing; others are clamped to the bins.
    void ShowBin(int bin, TPeakEdits& edits, QLabel* labelPeakVolt);
    // Bin of the measurement under x in a spectrum box of the given width, clamped to
    // 1 .. N/2 - 1; -1 when the axis cannot be inverted or the measurement has no bins.
    int XToBin(int width, int x) const;
    // Like XToBin, then the largest bin within the bins 5 pixels either side of x.
    int SnapBin(int width, int x) const;
    // The next line above the noise left (dir -1) or right (+1) of the readout bin.
    void PeakNext(const TSignalData& sig, TPeakEdits& edits, QLabel* labelPeakVolt, int dir);
    static double CodeToMicroVolt(uint32_t code);
    static double CodeCountToMicroVolt(uint32_t n);

    // Axis labels (graph_labels.cpp).
    void SetFreqLabelTexts();
    void SetdBLabelTexts();
    void SetVoltLabelTexts();
    void SetTimeLabelTexts();
    static std::string FormatTimeSpan(float t);
    void PlaceFreqLabels();
    void PlacedBLabels();
    void PlaceVoltLabels();
    void PlaceTimeLabels();
    void PrintFreqLabels(QPainter& canvas, float s, const TPrintRect& r);
    void PrintdBLabels(QPainter& canvas, float s, const TPrintRect& r);
    void PrintVoltLabels(QPainter& canvas, float s, const TPrintRect& r);
    void PrintTimeLabels(QPainter& canvas, float s, const TPrintRect& r);

    // Zoom, pan, markers and cursors (graph_zoom.cpp, graph_markers.cpp).
    void SetExtSetting(const TExtSetting* ext) { pExtSetting = ext; }
    // Full ranges of the frequency axis from the settings and the data; a changed full range
    // resets the view. The drawing calls it; the time axis takes its range where it is drawn.
    void UpdateFreqView();
    // True when the spectrum shows a range other than the fixed indices (zoomed or automatic).
    bool FreqCustom() const;
    bool TimeZoomed() const { return TimeView.Valid() && !TimeView.IsFull(); }
    // Gestures, box 0 the spectrum, 1 the waveform; x, y in box coordinates.
    void MousePress(int box, int x, int y, Qt::MouseButton button, Qt::KeyboardModifiers mods);
    void MouseMove(int box, int x, int y);
    void MouseRelease(int box, int x, int y);
    void MouseWheel(int box, int x, int delta);
    void MouseDoubleClick(int box, int x);
    // Redraws the graph of a box (0 spectrum, 1 waveform; -1 both) after a change of its view,
    // with the blocks ShownBlocks names (unset: those holding data), and the axis labels.
    void ViewChanged(int box = -1);
    // Second spectrum marker (-1: none) and the waveform's time cursors (milliseconds).
    void SetMarker2(int bin);
    void SetTimeCursor(int which, double tMs);
    // What is drawn over a graph of W x H pixels: markers, harmonics, cursors, readouts and
    // the span being dragged; scale: pixels per screen pixel (print).
    void DrawSpecOverlay(QPainter& p, int W, int H, double scale, bool print) const;
    void DrawWaveOverlay(QPainter& p, int W, int H, double scale, bool print) const;
    // The span being dragged out to zoom on graph box (0 spectrum, 1 waveform), if any.
    void DrawDragSpan(QPainter& p, int box, int H) const;
    // The readout texts of the second marker and of the cursors (empty when not shown).
    std::vector<std::string> MarkerReadout() const;
    std::vector<std::string> CursorReadout() const;

    // Samples of the block being collected (0: none), set by the window around its live
    // waveform draw only. While it exceeds the measurement's count, the waveform drawn alone
    // keeps the time axis of the whole block, the samples so far at their times from the left.
    int LiveBlockSamples = 0;

    std::function<void(int x)> OnSpectrumClick;
    std::function<void(int dir, bool peak)> OnSpectrumStep;
    std::function<void(bool& data, bool& ref)> ShownBlocks;

    // State, read by the main window and the tests; written only by the operations above.
    QPointer<QWidget> MainForm;
    std::function<QSize()> MainFormSize; // the outer size the layout uses; empty: the frame
    QPointer<TPaintBox> SpecBox, WaveBox;
    TGraphBitmap SpecBitmap, WaveBitmap;
    QRect SpecFrameRect, WaveFrameRect, SpecDestRect, WaveDestRect, SpecSrcRect, WaveSrcRect;
    std::array<QLabel*, FREQ_LABEL_COUNT> FreqLabels{};
    std::array<QLabel*, DB_LABEL_COUNT> dBLabels{};
    QLabel* LabelTimeS = nullptr;
    QLabel* LabelTimeE = nullptr;
    QLabel* LabelVoltmax = nullptr;
    QLabel* LabelVoltzero = nullptr;
    QLabel* LabelVoltmin = nullptr;
    QLabel* LabelVoltUnit = nullptr;
    int SpecBoxWidth = 0, SpecBoxHeight = 0, WaveBoxWidth = 0, WaveBoxHeight = 0;
    int SpecBitmapWidth = 0, SpecBitmapHeight = 0, WaveBitmapWidth = 0, WaveBitmapHeight = 0;
    const TFFTSetting* pFFTSetting = nullptr;
    const TADSetting* pADSetting = nullptr;
    const TSignalData* pSigData = nullptr;
    const TSignalData* pRefData = nullptr;
    uint32_t CodeMax = 0x800000C8u, CodeMin = 0x7FFFFF38u;
    double VoltTop = 0.001f, VoltBottom = -0.001f;
    double WaveSpan = 0, WaveBase = 0;
    float TimeSpan = 0;
    int BinCount = 0;
    float DrawDeltaF = 0;
    float SpecMax = 0;
    std::vector<float> SigdB, RefdB; // SPEC_BUF_LEN entries each
    int PeakBin = 1, CursorBin = 1;
    const TExtSetting* pExtSetting = nullptr;
    TAxisView FreqView, TimeView;
    bool FreqAuto = false;                     // the automatic range is in use
    std::vector<TAxisTick> ViewTicks;          // labels of a zoomed or automatic frequency axis
    bool SpecDrawn = false, WaveDrawn = false; // the bitmaps hold a trace
    int Marker2Bin = -1;
    std::array<bool, 2> CursorOn{};
    std::array<double, 2> CursorMs{};
    struct TDrag {
        int box = -1, x0 = 0, x = 0;
        bool pan = false, moved = false;
        Qt::MouseButton button = Qt::NoButton;
        Qt::KeyboardModifiers mods;
    } Drag;

private:
    // Waveform.
    void DrawWaveOne(TGraphBitmap& b, int which);
    void DrawWaveTwo(TGraphBitmap& b, bool print);
    void DrawWaveTrace(TGraphBitmap& b, const TSignalData& d, QRgb colour, TPenMode mode,
                       double period, double span);
    void DrawVoltLines(TGraphBitmap& b, int count, bool print);
    void DrawTimeLines(TGraphBitmap& b, float span, bool print);
    void DrawEmptyWaveGrid();
    void SetTimeFull(double span, double minSpan);
    // Time axis end of a block drawn alone: its span, or while it is being collected the
    // span of LiveBlockSamples samples at its period.
    float WaveAxisSpan(const TSignalData& d) const;
    void SetVoltRange(const TVoltRange& r);
    void SetCodeRange(const TCodeRange& r);

    // Spectrum.
    // The block whose spectrum is drawn next: its resolution, bin count and largest line; false
    // for an empty block. An all-zero spectrum is drawn: every bin at the floor.
    bool TakeSpectrumBlock(const TSignalData& d);
    QRgb TraceColour(int which) const;
    bool DrawLogSpectrum(TGraphBitmap& b, int which);
    bool DrawLinSpectrum(TGraphBitmap& b, int which);
    void DrawLogSpectrumWithRef(TGraphBitmap& b, bool print);
    void DrawLinSpectrumWithRef(TGraphBitmap& b, bool print);
    bool PrepareOverlay(TGraphBitmap& b, bool measurementDrawn, bool log);
    void DrawLogTrace(TGraphBitmap& b, const float* dB, int j, int k, QRgb colour, TPenMode mode);
    void DrawLinTrace(TGraphBitmap& b, const float* dB, int first, int last, QRgb colour,
                      TPenMode mode);
    // First bin a linear trace starts at: 1, or the last bin left of a zoomed view.
    int LinFirstBin() const;
    // x of a frequency on the linear axis as drawn (from 0 to FreqE, or the view).
    int LinAxisX(int W, double f) const;
    // x of a bin of the measurement on the spectrum as drawn; false when it has no place.
    bool BinX(int W, int bin, int& x) const;
    void DrawViewFreqLines(TGraphBitmap& b, bool log);
    void ConnectBoxes();
    std::vector<QMetaObject::Connection> BoxConnections;
    void ToDecibels(const float* spectrum, int n, float* target) const;
    void DrawLogGrid(TGraphBitmap& b);
    void DrawLinGrid(TGraphBitmap& b);
    void DrawdBLines(TGraphBitmap& b, int64_t n);
    void DrawLinFreqLines(TGraphBitmap& b, float fE);
    void DrawLogFreqLines(TGraphBitmap& b);
    void DrawGridLines(TGraphBitmap& b, const TGridLines& g, bool vertical, QRgb minor, QRgb major);

    // Peak readouts.
    void WriteReadouts(const TSignalData& sig, int bin, TPeakEdits& edits, QLabel* unitLabel);

    const TSignalData& Block(int which) const { return which == 1 ? *pRefData : *pSigData; }
    float FreqS() const;
    float FreqE() const;

    QImage TraceScratch; // coverage mask of XOR traces on the screen bitmaps
    // What SigdB and RefdB were last converted from (ToDecibels), and whether the redraw
    // under way is for a new view of the same data (ViewChanged).
    struct TdBKey {
        const float* spectrum = nullptr;
        int n = 0;
        float floor = 0;
        bool abso = false;
        float max = 0;
        bool valid = false;
        bool operator==(const TdBKey&) const = default;
    };
    mutable TdBKey SigdBKey, RefdBKey;
    bool ViewRedraw = false;
};
