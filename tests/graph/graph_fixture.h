// A main window stand-in for the graph object: the two paint boxes, the 43 labels, the peak
// edits and a measurement record, plus blocks of known content.
#pragma once

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QWidget>
#include <memory>

#include "graph_fft.h"
#include "record.h"

// Sets the offscreen platform unless one is chosen and installs the form font.
void PrepareGraphApp();

struct TGraphWindow {
    QWidget Main;
    TPaintBox* PaintBox1 = nullptr;
    TPaintBox* PaintBox3 = nullptr;
    TGraphLabels Labels{};
    TPeakEdits PeakEdits;
    QLabel* LabelPeakVolt = nullptr;
    std::unique_ptr<TMeasureRecord> Rec;
    std::unique_ptr<TGraph_FFT> Graph;

    // An 800 x 600 window (outer size) with the default settings and no data.
    TGraphWindow(int width = 800, int height = 600);
    // The redraw sequence of the main window after a change of settings or data.
    void Redraw();
};

// A block of n samples at rate index sps: amplitude volts of a sine at freqHz (0: none) on
// offset volts, plus uniform noise of noise volts peak, fixed seed; converted to volts and
// transformed with the given settings into spectrum.
void FillBlock(TSignalData& d, TMeasureRecord& rec, uint32_t* codes, float* volts, float* spectrum,
               int n, int32_t sps, double amplitude, double freqHz, double offset, double noise,
               unsigned seed);
void FillSig(TMeasureRecord& rec, int n, int32_t sps, double amplitude, double freqHz,
             double offset = 0, double noise = 0, unsigned seed = 1);
void FillRef(TMeasureRecord& rec, int n, int32_t sps, double amplitude, double freqHz,
             double offset = 0, double noise = 0, unsigned seed = 2);

// Pixel value of an RGB32 image without alpha.
inline uint32_t Px(const QImage& img, int x, int y) {
    return img.pixel(x, y) & 0xFFFFFFu;
}
// Pixels of column x (rows 0..H-1) / row y that have colour c.
int CountInColumn(const QImage& img, int x, uint32_t c);
int CountInRow(const QImage& img, int y, uint32_t c);
int CountColour(const QImage& img, uint32_t c);
