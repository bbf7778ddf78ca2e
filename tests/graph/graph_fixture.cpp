#include "graph_fixture.h"

#include <algorithm>
#include <cmath>
#include <random>

#include "myfft.h"
#include "signal_stats.h"
#include "tables.h"
#include "ui_font.h"

void PrepareGraphApp() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
}

TGraphWindow::TGraphWindow(int width, int height) : Rec(TMeasureRecord::Create()) {
    Main.resize(width, height);
    Main.setFont(FormFont(12));
    PaintBox1 = new TPaintBox(&Main);
    PaintBox3 = new TPaintBox(&Main);
    PaintBox1->hide();
    PaintBox3->hide();
    for (auto& l : Labels)
        l = new QLabel(&Main);
    const char* initial[6] = {"+1V", "0", "-1V", "V", "0", "100ms"};
    for (int i = 0; i < 6; i++) {
        QLabel* l = Labels[static_cast<size_t>(FREQ_LABEL_COUNT + DB_LABEL_COUNT + i)];
        l->setText(initial[i]);
        l->hide();
    }
    PeakEdits.EditPeakVolt = new QLineEdit(&Main);
    PeakEdits.EditPeakdB = new QLineEdit(&Main);
    PeakEdits.EditPeakHz = new QLineEdit(&Main);
    LabelPeakVolt = new QLabel("Vrms", &Main);
    // Right of the graphs, where the main window has its readouts.
    PeakEdits.EditPeakVolt->setGeometry(width - 130, 60, 70, 20);
    PeakEdits.EditPeakdB->setGeometry(width - 130, 85, 70, 20);
    PeakEdits.EditPeakHz->setGeometry(width - 130, 110, 70, 20);
    LabelPeakVolt->move(width - 55, 62);
    Graph = std::make_unique<TGraph_FFT>(&Main, PaintBox1, PaintBox3, Labels, &Rec->RefData,
                                         &Rec->SigData, &Rec->ADSetting, &Rec->FFTSetting);
    // The first idle call of the main window.
    Graph->UpdateScales();
    Graph->LayoutGraphs();
    Graph->ResizeBitmaps();
    Graph->ClearGraphs();
    Graph->PaintGraphs();
}

void TGraphWindow::Redraw() {
    Graph->UpdateScales();
    Graph->LayoutGraphs();
    Graph->ResizeBitmaps();
    Graph->ClearGraphs();
    Graph->DrawGraphs(Rec->SigData.ad_dnum > 0, Rec->RefData.ad_dnum > 0);
    Graph->PaintGraphs();
}

void FillBlock(TSignalData& d, TMeasureRecord& rec, uint32_t* codes, float* volts, float* spectrum,
               int n, int32_t sps, double amplitude, double freqHz, double offset, double noise,
               unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    const double periodS = SamplePeriodMs(sps, 1) / 1000.0;
    for (int i = 0; i < n; i++) {
        const double v =
            offset + amplitude * std::sin(2 * M_PI * freqHz * i * periodS) + noise * u(gen);
        const double c = std::round(v / 2.5 * 2147483647.0) + 2147483648.0;
        codes[i] = static_cast<uint32_t>(std::clamp(c, 1.0, 4294967294.0));
    }
    SetBlockRate(d, sps, 1);
    d.ad_dnum = n;
    d.pCode = codes;
    d.pVolt = volts;
    d.pSpectrum = spectrum;
    ConvertCodes(d);
    TmyFFT fft;
    CalcSpectrum(fft, rec.FFTSetting, d, SpectrumWorkOf(rec));
}

void FillSig(TMeasureRecord& rec, int n, int32_t sps, double amplitude, double freqHz,
             double offset, double noise, unsigned seed) {
    FillBlock(rec.SigData, rec, rec.CodeBuf.data(), rec.VoltBuf.data(), rec.Spectrum.data(), n, sps,
              amplitude, freqHz, offset, noise, seed);
}

void FillRef(TMeasureRecord& rec, int n, int32_t sps, double amplitude, double freqHz,
             double offset, double noise, unsigned seed) {
    FillBlock(rec.RefData, rec, rec.RefCodeBuf.data(), rec.RefVoltBuf.data(),
              rec.RefSpectrum.data(), n, sps, amplitude, freqHz, offset, noise, seed);
}

int CountInColumn(const QImage& img, int x, uint32_t c) {
    int k = 0;
    for (int y = 0; y < img.height(); y++)
        k += Px(img, x, y) == c;
    return k;
}

int CountInRow(const QImage& img, int y, uint32_t c) {
    int k = 0;
    for (int x = 0; x < img.width(); x++)
        k += Px(img, x, y) == c;
    return k;
}

int CountColour(const QImage& img, uint32_t c) {
    int k = 0;
    for (int y = 0; y < img.height(); y++)
        k += CountInRow(img, y, c);
    return k;
}
