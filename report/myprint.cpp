#include "myprint.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPrinter>
#include <QScreen>
#include <cmath>

#include "ext_setting.h"
#include "graph_fft.h"
#include "readout_text.h"
#include "ui_font.h"

int MmToPixel(int mm, int dpi) {
    return static_cast<int>(static_cast<long double>(mm) * (1.0L / 25.4L) * dpi);
}

TPrintLayout ComputePrintLayout(int dpiX, int dpiY, int pageWidthMm, int pageHeightMm,
                                bool landscape, bool waveGraph) {
    TPrintLayout r;
    auto px = [dpiX](int mm) { return MmToPixel(mm, dpiX); };
    auto py = [dpiY](int mm) { return MmToPixel(mm, dpiY); };
    r.L = px(5);
    if (!landscape) {
        r.T = py(5);
        r.W = px(pageWidthMm - 10);
        r.H = 3 * r.W / 4;
        r.TextX = px(15) + r.L;
        r.TextY = py(15) + r.T + r.H;
    } else {
        r.T = py(15);
        r.W = px(pageHeightMm - 20);
        r.H = 3 * r.W / 4;
        r.TextX = px(15) + r.L + r.W;
        r.TextY = r.T;
    }
    r.X1 = r.L + px(15);
    r.X2 = r.L + r.W;
    if (!waveGraph) {
        r.G = r.H - py(10);
        r.SpecTop = r.T;
    } else {
        r.G = r.H / 2 - py(10);
        r.WaveTop = r.T;
        r.SpecTop = r.T + r.G + py(10);
    }
    return r;
}

std::vector<std::string> PrintTextLines(const TPrintData& d) {
    const TFFTSetting def;
    const TFFTSetting& s = d.pFFTSetting ? *d.pFFTSetting : def;
    const TFileSetting noFile;
    const TFileSetting& f = d.pFileSetting ? *d.pFileSetting : noFile;
    const bool abso = s.fAbsoGraph == 1;
    std::string window;
    switch (s.whichWindowFunc) {
    case 1:
        window = "窓関数：ハニング窓";
        break;
    case 2:
        window = "窓関数：ハミング窓";
        break;
    case 3:
        window = "窓関数：フラットトップ";
        break;
    default:
        window = "窓関数：矩形波窓";
        break;
    }
    return {
        "< Brisane >",
        "データ数：" + std::to_string(d.ad_dnum),
        "サンプリング：" + d.RateText,
        "周波数分解能：" + d.DeltaFText,
        abso ? "dB表示：絶対値表示[" + SpectrumdBUnitText(1, d.spectrumScale) + "]"
             : std::string("dB表示：相対値表示"),
        // The tone and density scales do not use the correction: their line takes its place.
        d.spectrumScale == 1 || d.spectrumScale == 2
            ? std::string("スペクトル表示：") + SpectrumScaleName(d.spectrumScale) + "[" +
                  SpectrumUnitText(d.spectrumScale) + "]"
        : s.fWinFuncAdjust == 1 ? "窓関数による減衰の補正計算：有り"
                                : "窓関数による減衰の補正計算：なし",
        window,
        s.fDCCut_FFT == 1 ? "FFT計算 DCカット：有り" : "FFT計算 DCカット：なし",
        s.fDCCut_SigGraph == 1 ? "信号波形 DCカット：有り" : "信号波形 DCカット：なし",
        "ピーク値[" + d.PeakVoltUnit + "]：" + d.PeakVoltText,
        "ピーク値[" + PeakdBUnit(abso ? 1 : 0, d.spectrumScale) + "]：" + d.PeakdBText,
        "ピーク値[Hz]：" + d.PeakHzText,
        "測定：" + f.StartDateTime,
        "ファイル名：" + f.DataFileName,
    };
}

TmyPrint::TmyPrint(TGraph_FFT* graph, QPrinter* printer, const TFFTSetting* fftSetting)
    : pGraph(graph), pPrinter(printer), pFFTSetting(fftSetting) {}

namespace {

// Copies the bitmap into its box and frames the box one pixel outside.
void PlaceBitmap(QPainter& p, const QImage& img, int x, int y) {
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(QPoint(x, y), img);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::black, 0));
    p.drawRect(x - 1, y - 1, img.width() + 1, img.height() + 1);
}

} // namespace

bool TmyPrint::SetPage(int dpiX_, int dpiY_, int widthMm, int heightMm, bool landscape) {
    dpiX = dpiX_;
    dpiY = dpiY_;
    pageWidthMm = widthMm;
    pageHeightMm = heightMm;
    layout = ComputePrintLayout(dpiX, dpiY, pageWidthMm, pageHeightMm, landscape,
                                pFFTSetting->fWaveGraph == 1);
    return layout.X2 - layout.X1 > 0 && layout.G > 0;
}

void TmyPrint::DrawPage(QPainter& p, const TPrintData& data) {
    const TPrintLayout& lay = layout;
    const bool wave = pFFTSetting->fWaveGraph == 1;
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double screenDpi = screen ? screen->logicalDotsPerInchY() : 96.0;
    const auto s = static_cast<float>(dpiY / (screenDpi > 0 ? screenDpi : 96.0));

    TGraphBitmap bitmap(lay.X2 - lay.X1, lay.G);
    if (wave) {
        pGraph->PrintWave(bitmap);
        PlaceBitmap(p, bitmap.Image, lay.X1, lay.WaveTop);
        const TPrintRect box{lay.X1, lay.WaveTop, lay.X2, lay.WaveTop + lay.G};
        pGraph->PrintVoltLabels(p, s, box);
        pGraph->PrintTimeLabels(p, s, box);
    }
    pGraph->PrintSpectrum(bitmap);
    PlaceBitmap(p, bitmap.Image, lay.X1, lay.SpecTop);
    const TPrintRect specBox{lay.X1, lay.SpecTop, lay.X2, lay.SpecTop + lay.G};
    pGraph->PrintFreqLabels(p, s, specBox);
    pGraph->PrintdBLabels(p, s, specBox);
    PrintTextBlock(p, lay, data);
}

bool TmyPrint::PaintPage(QPainter& p, int dpi, int widthMm, int heightMm, bool landscape,
                         const TPrintData& data) {
    if (!pGraph || !pFFTSetting || !SetPage(dpi, dpi, widthMm, heightMm, landscape)) return false;
    DrawPage(p, data);
    return true;
}

bool TmyPrint::Print(const TPrintData& data) {
    if (!pGraph || !pPrinter || !pFFTSetting) return false;
    const QRectF pageMm = pPrinter->pageLayout().paintRect(QPageLayout::Millimeter);
    const bool landscape = pPrinter->pageLayout().orientation() == QPageLayout::Landscape;
    if (!SetPage(pPrinter->logicalDpiX(), pPrinter->logicalDpiY(), static_cast<int>(pageMm.width()),
                 static_cast<int>(pageMm.height()), landscape))
        return false;
    QPainter p;
    if (!p.begin(pPrinter)) return false;
    DrawPage(p, data);
    if (data.ExtraPage) {
        if (!pPrinter->newPage()) {
            p.end();
            return false;
        }
        const QRect area(QPoint(0, 0),
                         pPrinter->pageLayout().paintRectPixels(pPrinter->resolution()).size());
        data.ExtraPage(p, area, dpiY);
    }
    const bool ended = p.end();
    return ended && pPrinter->printerState() != QPrinter::Error;
}

void TmyPrint::PrintTextBlock(QPainter& p, const TPrintLayout& lay, const TPrintData& data) const {
    const int pixelHeight = static_cast<int>(std::lround(12.0 * dpiY / 72.0));
    QFont font = FormFont(pixelHeight);
    p.setFont(font);
    p.setPen(Qt::black);
    const int pitch = std::abs(static_cast<int>(pixelHeight * 1.5));
    const int ascent = QFontMetrics(font, p.device()).ascent();
    int y = lay.TextY;
    for (const std::string& line : PrintTextLines(data)) {
        p.drawText(QPoint(lay.TextX, y + ascent), QString::fromStdString(line));
        y += pitch;
    }
}
