// Continuous blocks over the emulated USB chip in real time (10 ksps, 1024-sample blocks, the
// window's 1 ms poll): the share of the wall time the unit streams and the process's CPU share
// (the emulation's own handler thread apart: a real chip costs the host nothing of it). Runs
// itself under umockdev's preload library when started without it.
#include "ad7177.h"
#include "emulated_ftdi.h"
#include "measure_session.h"
#include "tables.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

using namespace usbemul;

namespace {

int64_t ProcessCpuNs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

void BM_ContinuousOverUsb(benchmark::State& state) {
    TUsbBench bus;
    TChipConfig config;
    config.shape = state.range(0) == 0 ? TShape::FT245R : TShape::FT232H;
    config.unit = CheckableUnit(1.0);
    TEmulatedChip& chip = bus.Plug(config);
    TADC adc;
    TMeasureSession session(adc);
    TADSetting ad;
    SetDefaultADSetting(ad);
    ad.spsSel = 13;
    if (session.Open(ad) != TStartResult::Started) {
        state.SkipWithError("the unit did not open");
        return;
    }
    std::vector<uint32_t> buf(1024);
    for (auto _ : state) {
        if (session.BeginContinuous(1024, buf.data()) != TStartResult::Started) {
            state.SkipWithError("start failed");
            return;
        }
        const auto wall0 = std::chrono::steady_clock::now();
        const int64_t cpu0 = ProcessCpuNs();
        const int64_t emul0 = chip.HandlerCpuNs();
        int64_t samples = 0, blocks = 0;
        const auto end = wall0 + std::chrono::seconds(state.range(1));
        while (std::chrono::steady_clock::now() < end) {
            const TMeasureSession::TStep step = session.Step();
            samples += session.LastRead();
            if (step == TMeasureSession::TStep::Complete) ++blocks;
            if (step == TMeasureSession::TStep::LinkLost) {
                state.SkipWithError("link lost");
                return;
            }
            if (step == TMeasureSession::TStep::Waiting)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
        const double cpu = static_cast<double>(ProcessCpuNs() - cpu0) / 1e9;
        const double emul = static_cast<double>(chip.HandlerCpuNs() - emul0) / 1e9;
        session.Stop();
        state.counters["blocks"] = static_cast<double>(blocks);
        state.counters["streaming_pct"] = 100.0 * static_cast<double>(samples) / (wall * 1e4);
        state.counters["link_share_pct"] = 100.0 * (cpu - emul) / wall;
        state.counters["emul_share_pct"] = 100.0 * emul / wall;
        if (session.Open(ad) != TStartResult::Started) break;
    }
}

} // namespace

BENCHMARK(BM_ContinuousOverUsb)
    ->Args({0, 10})
    ->Args({1, 10})
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

int main(int argc, char** argv) {
    // Again, under the preload library that puts the emulated bus in place.
    if (!TUsbBench::Preloaded()) return TUsbBench::RunPreloaded(argc, argv);
    setenv("KALVEX_UNIT_SOCKET", "/nonexistent/kalvex-unit.sock", 1);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
