// The window's side of measuring, continuous measurement and long recordings: one strip chart
// redraw of an hour at 10 ksps (36 million samples, from the summary) at several zooms, the
// window measuring one block, and the window in continuous mode with averaging against
// kalvex-unitsim at speed 1 for ten seconds of real time: the share of a core it takes and the
// share of the wall time the unit streams.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QTimer>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <memory>
#include <random>
#include <vector>

#include <sys/resource.h>

#include "fake_seam.h"
#include "main_window.h"
#include "measure_session.h"
#include "recorder.h"
#include "recording_window.h"
#include "strip_summary.h"
#include "temp_dir.h"
#include "unit_process.h"

namespace {

const TStripSummary& HourAt10ksps() {
    static TStripSummary* s = [] {
        auto* sum = new TStripSummary();
        std::vector<uint32_t> codes(100000);
        std::mt19937 rng(5);
        std::normal_distribution<double> noise(0.0, 200.0);
        for (int b = 0; b < 360; ++b) {
            for (size_t i = 0; i < codes.size(); ++i) {
                const double k = static_cast<double>(b) * 1e5 + static_cast<double>(i);
                codes[i] = static_cast<uint32_t>(
                    2147483648.0 + 1e8 * std::sin(2.0 * 3.14159265 * k / 3e6) + noise(rng));
            }
            sum->Add(codes.data(), codes.size());
        }
        return sum;
    }();
    return *s;
}

void BM_StripChartRedraw(benchmark::State& state) {
    const TStripSummary& s = HourAt10ksps();
    TStripChart chart(nullptr);
    chart.resize(620, 280);
    chart.SetSource(&s, 0.1);
    chart.SetSpan(static_cast<double>(state.range(0))); // 0: the whole hour
    QImage image(chart.size(), QImage::Format_RGB32);
    for (auto _ : state) {
        chart.Render(image);
        benchmark::DoNotOptimize(image.bits());
    }
    state.counters["summary_MB"] = static_cast<double>(s.Bytes()) / 1e6;
}

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The window on its own simulated unit (never a USB chip of this machine), started and shown.
struct TWindowOnSim {
    TempDir dir;
    std::string socket = dir.file("unit.sock");
    TUnitProcess sim;
    FakeSeam seam;
    std::unique_ptr<TFormMain> form;
    TWindowOnSim(const char* speed, bool pollFollowsRate = true)
        : sim(KALVEX_UNITSIM, socket, {"--speed", speed}) {
        ::setenv("KALVEX_UNIT_SOCKET", socket.c_str(), 1);
        ::setenv("KALVEX_UNIT_SERIAL", "no-such-chip", 1);
        TFormMainOptions o;
        o.seam = &seam;
        o.initFilePath = dir.file("Kalvexini.prf");
        o.pollFollowsRate = pollFollowsRate;
        form = std::make_unique<TFormMain>(o);
        form->FirstIdle();
        form->show();
    }
    ~TWindowOnSim() {
        form.reset();
        ::unsetenv("KALVEX_UNIT_SOCKET");
        ::unsetenv("KALVEX_UNIT_SERIAL");
    }
};

// Runs the event loop for ms milliseconds or until done() (when given) holds: the share of a
// core the process took meanwhile, in percent; elapsed gets the wall time in seconds.
double CpuShareOfEvents(int ms, const std::function<bool()>& done, double& elapsed) {
    QElapsedTimer wall;
    wall.start();
    const double cpu0 = CpuSeconds();
    QEventLoop loop;
    QTimer check;
    if (done) {
        QObject::connect(&check, &QTimer::timeout, [&] {
            if (done()) loop.quit();
        });
        check.start(50);
    }
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    elapsed = static_cast<double>(wall.nsecsElapsed()) / 1e9;
    return 100.0 * (CpuSeconds() - cpu0) / elapsed;
}

void BM_ContinuousWindow(benchmark::State& state) {
    TWindowOnSim w("1");
    TFormMain& form = *w.form;
    form.Rec->FFTSetting.DataCountSel = 0;
    form.Rec->FFTSetting.DataCountMax = 1024;
    form.Rec->ExtSetting.continuous = 1;
    form.Rec->ExtSetting.averageMode = 1;
    form.Rec->ExtSetting.averageCount = 16;
    const double seconds = static_cast<double>(state.range(0));
    for (auto _ : state) {
        form.StartMeasure();
        double elapsed = 0.0;
        const double cpu = CpuShareOfEvents(static_cast<int>(seconds * 1000), nullptr, elapsed);
        const double samples = form.BlocksDone * 1024.0 + form.Session->Received() % 1024;
        form.MeasureStartBtnClick();
        state.counters["blocks"] = form.BlocksDone;
        state.counters["cpu_percent"] = cpu;
        state.counters["streaming_percent"] = 100.0 * samples / (elapsed * 10000.0);
    }
}

// One block of 65 536 samples at 10 ksps measured by the window against kalvex-unitsim at speed
// 1: the share of a core it takes from the start command to the finished block. Arg 1 polls as
// the rate needs, arg 0 every millisecond (the baseline).
void BM_MeasuringWindow(benchmark::State& state) {
    TWindowOnSim w("1", state.range(0) == 1);
    TFormMain& form = *w.form;
    form.Rec->FFTSetting.DataCountSel = 6;
    form.Rec->FFTSetting.DataCountMax = 65536;
    double cpuSeconds = 0.0, wallSeconds = 0.0; // over every block: less scatter
    for (auto _ : state) {
        form.StartMeasure();
        double elapsed = 0.0;
        const double cpu = CpuShareOfEvents(
            30000, [&] { return !form.fMeasuring; }, elapsed);
        if (!form.fDataValid) {
            state.SkipWithError("the block did not come");
            break;
        }
        cpuSeconds += cpu / 100.0 * elapsed;
        wallSeconds += elapsed;
    }
    if (wallSeconds > 0) state.counters["cpu_percent"] = 100.0 * cpuSeconds / wallSeconds;
}

// An hour at 10 ksps recorded through the window (the simulated unit 120 times faster than
// real time): the process's largest resident memory, and one redraw of the recording window.
void BM_WindowRecordingHour(benchmark::State& state) {
    TWindowOnSim w("120");
    TFormMain& form = *w.form;
    for (auto _ : state) {
        w.seam.fileNames.push_back(w.dir.file("hour.csv"));
        form.MenuRecordStartClick();
        if (!form.fRecording) {
            state.SkipWithError("the recording did not start");
            return;
        }
        QEventLoop loop;
        QTimer check;
        QObject::connect(&check, &QTimer::timeout, [&] {
            if (!form.fRecording || form.Recorder->Samples() >= 36000000) loop.quit();
        });
        check.start(100);
        QTimer::singleShot(120000, &loop, &QEventLoop::quit);
        loop.exec();
        QElapsedTimer redraw;
        redraw.start();
        form.RecordingForm->Refresh();
        form.RecordingForm->repaint();
        state.counters["redraw_ms"] = static_cast<double>(redraw.nsecsElapsed()) / 1e6;
        state.counters["samples_M"] = static_cast<double>(form.Recorder->Samples()) / 1e6;
        form.MenuRecordStopClick();
    }
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    state.counters["max_rss_MB"] = static_cast<double>(u.ru_maxrss) / 1024.0;
}

} // namespace

BENCHMARK(BM_WindowRecordingHour)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_StripChartRedraw)
    ->Arg(0)
    ->Arg(3600)
    ->Arg(600)
    ->Arg(60)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MeasuringWindow)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(4)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();
BENCHMARK(BM_ContinuousWindow)->Arg(10)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
