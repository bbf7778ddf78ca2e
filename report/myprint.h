// TmyPrint: the report. The graphs at the printer's resolution with their labels, and a block
// of 14 text lines on the settings, the peak readouts, the time and the file; optionally a
// second page the caller draws.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "record.h"

class QPainter;
class QPrinter;
class QRect;
class TGraph_FFT;

// The texts one print job needs besides the graphs.
struct TPrintData {
    int32_t ad_dnum = 0;
    const TFFTSetting* pFFTSetting = nullptr;
    const TFileSetting* pFileSetting = nullptr;
    std::string RateText;
    std::string DeltaFText;
    std::string PeakVoltText; // the texts of the three peak edits
    std::string PeakdBText;
    std::string PeakHzText;
    std::string PeakVoltUnit;
    int32_t spectrumScale = 0; // TExtSetting::spectrumScale of the printed spectrum
    // A second page after the report (empty: none), drawn into the printable area in printer
    // pixels at the printer's resolution.
    std::function<void(QPainter&, const QRect&, int dpi)> ExtraPage;
};

// Where everything goes on the page, in printer pixels from the printable area's top left.
struct TPrintLayout {
    int L = 0, T = 0, W = 0, H = 0; // the graph area
    int X1 = 0, X2 = 0;             // left and right edge of every graph box
    int G = 0;                      // height of a graph box
    int WaveTop = -1;               // top of the waveform box; -1 without one
    int SpecTop = 0;                // top of the spectrum box
    int TextX = 0, TextY = 0;       // the text block's top-left corner
};

int MmToPixel(int mm, int dpi);
TPrintLayout ComputePrintLayout(int dpiX, int dpiY, int pageWidthMm, int pageHeightMm,
                                bool landscape, bool waveGraph);
// The 14 lines of the text block, in order.
std::vector<std::string> PrintTextLines(const TPrintData& data);

class TmyPrint {
public:
    TmyPrint(TGraph_FFT* graph, QPrinter* printer, const TFFTSetting* fftSetting);

    // Prints the page; false when the job could not be started or completed.
    bool Print(const TPrintData& data);
    // The same page on any painter (an image, an SVG) whose device has dpi and a printable
    // area of the given size; false when the graphs do not fit it.
    bool PaintPage(QPainter& p, int dpi, int widthMm, int heightMm, bool landscape,
                   const TPrintData& data);

    int MmToPixelX(int mm) const { return MmToPixel(mm, dpiX); }
    int MmToPixelY(int mm) const { return MmToPixel(mm, dpiY); }

private:
    void PrintTextBlock(QPainter& p, const TPrintLayout& lay, const TPrintData& data) const;
    // The page's resolution, size and layout; false when the graphs do not fit.
    bool SetPage(int dpiX, int dpiY, int widthMm, int heightMm, bool landscape);
    void DrawPage(QPainter& p, const TPrintData& data);

    TGraph_FFT* pGraph;
    QPrinter* pPrinter;
    const TFFTSetting* pFFTSetting;
    int dpiX = 0, dpiY = 0;
    int pageWidthMm = 0, pageHeightMm = 0;
    TPrintLayout layout;
};
