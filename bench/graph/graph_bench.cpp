// Drawing both graphs from scratch for a 262144-sample block on the default bitmaps.
#include <QApplication>
#include <benchmark/benchmark.h>

#include "graph_fixture.h"
#include "ui_font.h"

namespace {

TGraphWindow* Window(bool volts, bool log) {
    static TGraphWindow* w = [] {
        auto* g = new TGraphWindow;
        FillSig(*g->Rec, 262144, 13, 0.5, 1000, 0.1, 0.01, 1);
        FillRef(*g->Rec, 262144, 13, 0.2, 250, 0.0, 0.02, 2);
        return g;
    }();
    w->Rec->FFTSetting.fSig_Volt = volts ? 1 : 0;
    w->Rec->FFTSetting.fLogGraph = log ? 1 : 0;
    w->Graph->UpdateScales();
    w->Graph->LayoutGraphs();
    w->Graph->ResizeBitmaps();
    return w;
}

void BM_Spectrum(benchmark::State& st) {
    TGraphWindow* w = Window(true, st.range(0) == 1);
    for (auto _ : st)
        w->Graph->DrawSpectrum(0);
}
BENCHMARK(BM_Spectrum)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

void BM_Wave(benchmark::State& st) {
    TGraphWindow* w = Window(st.range(0) == 1, true);
    for (auto _ : st)
        w->Graph->DrawWave(0);
}
BENCHMARK(BM_Wave)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

// The whole redraw after a measurement: scales, labels, blank grids, both graphs.
void BM_BothGraphs(benchmark::State& st) {
    TGraphWindow* w = Window(true, true);
    const bool ref = st.range(0) == 1;
    for (auto _ : st) {
        w->Graph->UpdateScales();
        w->Graph->LayoutGraphs();
        w->Graph->ClearGraphs();
        w->Graph->DrawGraphs(true, ref);
    }
}
BENCHMARK(BM_BothGraphs)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// One wheel step in and one out on each graph, each followed by the redraw of that graph and
// the labels (the worst case: the view holds most of the 262 144 samples). Reported per step.
// Args: logarithmic axis, reference shown.
void BM_ZoomStep(benchmark::State& st) {
    TGraphWindow* w = Window(true, st.range(0) == 1);
    const bool ref = st.range(1) == 1;
    w->Graph->ShownBlocks = [ref](bool& data, bool& r) {
        data = true;
        r = ref;
    };
    w->Graph->ClearGraphs();
    w->Graph->DrawGraphs(true, ref);
    const int x = w->Graph->SpecBitmap.Width() / 2;
    for (auto _ : st) {
        w->Graph->MouseWheel(0, x, 120);
        w->Graph->MouseWheel(1, x, 120);
        w->Graph->MouseWheel(0, x, -120);
        w->Graph->MouseWheel(1, x, -120);
    }
    st.counters["s_per_step"] =
        benchmark::Counter(static_cast<double>(st.iterations()) * 4,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    w->Graph->ShownBlocks = nullptr;
}
BENCHMARK(BM_ZoomStep)
    ->Args({1, 0})
    ->Args({0, 0})
    ->Args({1, 1})
    ->Args({0, 1})
    ->Unit(benchmark::kMillisecond);

// Panning a view of half the data by 10 pixels on both graphs, then redrawing both graphs
// (measurement and reference); reported per redraw of both.
void BM_PanStep(benchmark::State& st) {
    TGraphWindow* w = Window(true, true);
    w->Graph->ShownBlocks = nullptr;
    w->Graph->ClearGraphs();
    w->Graph->DrawGraphs(true, true);
    for (TAxisView* v : {&w->Graph->FreqView, &w->Graph->TimeView}) {
        v->Reset();
        v->ZoomAt(291, 582, 0.5);
    }
    int dir = 1;
    for (auto _ : st) {
        for (TAxisView* v : {&w->Graph->FreqView, &w->Graph->TimeView}) {
            v->Pan(10 * dir, 582);
            w->Graph->ViewChanged();
        }
        dir = -dir;
    }
    st.counters["s_per_step"] =
        benchmark::Counter(static_cast<double>(st.iterations()) * 2,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_PanStep)->Unit(benchmark::kMillisecond);

// Every segment through QPainter, for comparison.
void BM_WaveEverySegmentQPainter(benchmark::State& st) {
    TGraphWindow* w = Window(true, true);
    w->Graph->DrawWave(0);
    const TSignalData& d = w->Rec->SigData;
    QImage img(582, 225, QImage::Format_RGB32);
    std::vector<QLine> lines(static_cast<size_t>(d.ad_dnum - 1));
    for (auto _ : st) {
        const double base = w->Graph->WaveBase, span = w->Graph->WaveSpan;
        int px = 0, py = WaveY(225, d.pVolt[0] - d.VoltAve, base, span);
        for (int i = 1; i < d.ad_dnum; i++) {
            const int x = static_cast<int>((582LL * i) / d.ad_dnum);
            const int y = WaveY(225, d.pVolt[i] - d.VoltAve, base, span);
            lines[static_cast<size_t>(i - 1)] = QLine(px, py, x, y);
            px = x;
            py = y;
        }
        QPainter p(&img);
        p.setPen(Qt::red);
        p.drawLines(lines.data(), static_cast<int>(lines.size()));
    }
}
BENCHMARK(BM_WaveEverySegmentQPainter)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    PrepareGraphApp();
    QApplication app(argc, argv);
    InstallFontSubstitutions();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
