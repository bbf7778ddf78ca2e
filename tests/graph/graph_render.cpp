// Renders the graphs of a sine-plus-noise block with a reference into PNG files:
//   graph_render [output directory, default /tmp]
#include <QApplication>
#include <QPainter>
#include <QPdfWriter>
#include <cmath>
#include <cstdio>

#include "graph_fixture.h"
#include "signal_stats.h"
#include "tables.h"
#include "ui_font.h"

int main(int argc, char** argv) {
    PrepareGraphApp();
    QApplication app(argc, argv);
    InstallFontSubstitutions();
    const QString dir = argc > 1 ? argv[1] : "/tmp";
    TGraphWindow w;
    w.Main.setStyleSheet("background: #f0f0f0");
    TMeasureRecord& r = *w.Rec;
    r.FFTSetting.fSig_Volt = 1;
    FillSig(r, 65536, 13, 0.5, 1000, 0.1, 0.01, 1);
    FillRef(r, 32768, 13, 0.2, 250, 0.0, 0.02, 2);
    w.Main.show();
    const auto save = [&](const char* name) {
        w.Redraw();
        w.Graph->ShowPeak(r.SigData, w.PeakEdits, w.LabelPeakVolt);
        app.processEvents();
        w.Main.grab().save(dir + "/graph_" + name + "_window.png");
        w.Graph->SpecBitmap.Image.save(dir + "/graph_" + name + "_spectrum.png");
        w.Graph->WaveBitmap.Image.save(dir + "/graph_" + name + "_wave.png");
    };
    save("log");
    r.FFTSetting.fLogGraph = 0;
    save("lin");
    r.FFTSetting.fLogGraph = 1;
    r.FFTSetting.fAbsoGraph = 0;
    r.FFTSetting.index_dB_max = 2;
    r.FFTSetting.index_dB_min = 14;
    r.FFTSetting.index_FreqS = 6;
    r.FFTSetting.index_FreqE = 13;
    save("rel");
    // A slow block where the waveform's shape shows; codes on the vertical axis.
    FillSig(r, 4096, 10, 0.3, 3, 0.05, 0.02, 3);
    FillRef(r, 2048, 10, 0.15, 5, 0.0, 0.01, 4);
    r.FFTSetting.fSig_Volt = 0;
    r.FFTSetting.index_FreqS = 3;
    r.FFTSetting.index_FreqE = 12;
    save("slow");
    TGraphBitmap bmp(1400, 500);
    w.Graph->PrintWave(bmp);
    bmp.Image.save(dir + "/graph_print_wave.png");
    w.Graph->PrintSpectrum(bmp);
    bmp.Image.save(dir + "/graph_print_spectrum.png");
    // Zoomed in on a 1 kHz tone in 65 536 samples, with markers and cursors.
    r.FFTSetting = TFFTSetting{};
    r.FFTSetting.fSig_Volt = 1;
    r.RefData.ad_dnum = 0;
    FillSig(r, 65536, 13, 0.5, 1000, 0.0, 0.001, 5);
    for (int i = 0; i < 65536; i++) { // a little second and third harmonic
        const double dv = 0.005 * std::sin(2 * M_PI * 2000 * i * 1e-4) +
                          0.002 * std::sin(2 * M_PI * 3000 * i * 1e-4);
        uint32_t& code = r.CodeBuf[static_cast<size_t>(i)];
        code = static_cast<uint32_t>(std::llround(code + dv / VOLT_PER_CODE));
    }
    ConvertCodes(r.SigData);
    save("full");
    const int WW = w.Graph->WaveBitmap.Width();
    w.Graph->TimeView.ZoomSpan(WW * 0.5, WW * 0.5 + 1.0, WW);
    w.Graph->TimeView.ZoomAt(WW * 0.5, WW, 3.0 / (w.Graph->TimeView.Hi() - w.Graph->TimeView.Lo()));
    w.Graph->FreqView.ZoomSpan(WW * 0.72, WW * 0.97, WW);
    w.Graph->ViewChanged();
    w.Graph->ShowPeak(r.SigData, w.PeakEdits, w.LabelPeakVolt);
    w.Graph->SetMarker2(w.Graph->PeakBin * 2);
    const double t0 = w.Graph->TimeView.Lo();
    w.Graph->SetTimeCursor(0, t0 + 0.5);
    w.Graph->SetTimeCursor(1, t0 + 1.5);
    app.processEvents();
    w.Main.grab().save(dir + "/graph_zoom_window.png");
    TGraphBitmap pz(1400, 500);
    w.Graph->PrintSpectrum(pz);
    pz.Image.save(dir + "/graph_print_zoom_spectrum.png");
    w.Graph->PrintWave(pz);
    pz.Image.save(dir + "/graph_print_zoom_wave.png");
    {
        // The zoomed view on a PDF page as the printout lays it out: bitmaps, then labels.
        QPdfWriter pdf(dir + "/graph_print_zoom.pdf");
        pdf.setResolution(300);
        QPainter p(&pdf);
        const float sc = 300.0f / 96.0f;
        const int X1 = 300, X2 = 2200, G = 700;
        TGraphBitmap b(X2 - X1, G);
        w.Graph->PrintWave(b);
        p.drawImage(X1, 150, b.Image);
        w.Graph->PrintVoltLabels(p, sc, {X1, 150, X2, 150 + G});
        w.Graph->PrintTimeLabels(p, sc, {X1, 150, X2, 150 + G});
        w.Graph->PrintSpectrum(b);
        p.drawImage(X1, 1100, b.Image);
        w.Graph->PrintFreqLabels(p, sc, {X1, 1100, X2, 1100 + G});
        w.Graph->PrintdBLabels(p, sc, {X1, 1100, X2, 1100 + G});
    }
    // Linear axis, with a reference, zoomed on both graphs.
    FillRef(r, 32768, 13, 0.2, 1010, 0.0, 0.002, 7);
    r.FFTSetting.fLogGraph = 0;
    save("lin_ref_full");
    w.Graph->FreqView.ZoomSpan(WW * 0.18, WW * 0.22, WW);
    w.Graph->TimeView.ZoomSpan(WW * 0.1, WW * 0.101, WW);
    w.Graph->ViewChanged();
    app.processEvents();
    w.Main.grab().save(dir + "/graph_zoom_lin_ref_window.png");
    r.RefData.ad_dnum = 0;
    r.FFTSetting.fLogGraph = 1;
    // 5 sps, 1024 samples, the strongest line at 0.01 Hz, with the automatic range.
    w.Graph->SetExtSetting(&r.ExtSetting);
    r.ExtSetting.freqAuto = 1;
    FillSig(r, 1024, 0, 0.5, 0.01, 0.0, 0.001, 6);
    w.Graph->TimeView.Reset();
    save("auto5sps");
    r.FFTSetting.fLogGraph = 0;
    save("auto5sps_lin");
    // 5 sps on the fixed linear axes 0 .. 0.5 Hz and 0 .. 0.1 Hz, the second also printed.
    r.ExtSetting.freqAuto = 0;
    r.FFTSetting.index_FreqS = 0;
    r.FFTSetting.index_FreqE = 2;
    FillSig(r, 1024, 0, 0.5, 0.2, 0.0, 0.001, 8);
    save("fixed5sps_lin");
    r.FFTSetting.index_FreqE = 0;
    FillSig(r, 1024, 0, 0.5, 0.04, 0.0, 0.001, 9);
    save("fixed5sps_lin01");
    {
        QImage page(2000, 900, QImage::Format_RGB32);
        page.fill(Qt::white);
        QPainter p(&page);
        const float sc = 2.0f;
        const int X1 = 200, X2 = 1900, G = 700;
        TGraphBitmap b(X2 - X1, G);
        w.Graph->PrintSpectrum(b);
        p.drawImage(X1, 50, b.Image);
        w.Graph->PrintFreqLabels(p, sc, {X1, 50, X2, 50 + G});
        w.Graph->PrintdBLabels(p, sc, {X1, 50, X2, 50 + G});
        p.end();
        page.save(dir + "/graph_print_fixed5sps_lin01.png");
    }
    // A quarter of a 6.55 s block at 10 ksps while it is being collected.
    r.FFTSetting = TFFTSetting{};
    r.FFTSetting.fSig_Volt = 1;
    FillSig(r, 16384, 13, 0.5, 2, 0.0, 0.01, 10);
    w.Redraw();
    w.Graph->LiveBlockSamples = 65536;
    w.Graph->DrawWave(0);
    w.Graph->UpdateScales();
    w.Graph->LayoutGraphs();
    w.Graph->LiveBlockSamples = 0;
    app.processEvents();
    w.Main.grab().save(dir + "/graph_live_window.png");
    std::printf("written to %s\n", qPrintable(dir));
    return 0;
}
