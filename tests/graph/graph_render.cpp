// Renders the graphs of a sine-plus-noise block with a reference into PNG files:
//   graph_render [output directory, default /tmp]
#include <QApplication>
#include <cstdio>

#include "graph_fixture.h"
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
    std::printf("written to %s\n", qPrintable(dir));
    return 0;
}
