// The link on the emulated USB chip in real time: the CPU share of the whole process while it
// streams 10 ksps and while the link is open but idle, and one 262 144-sample block at 10 ksps
// with its lost and wrong samples counted. The emulation's own handler thread is measured
// apart ("emul_share"): a real chip costs the host nothing of it. Runs itself under
// umockdev's preload library when started without it.
#include "ad7177.h"
#include "emulated_ftdi.h"
#include "tables.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

using namespace usbemul;
using namespace std::chrono_literals;

namespace {

int64_t ProcessCpuNs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

struct TShares {
    TClock::time_point wall0 = TClock::now();
    int64_t cpu0 = ProcessCpuNs();
    int64_t emul0 = 0;
    void Report(benchmark::State& state, const TEmulatedChip& chip) const {
        const double wall = std::chrono::duration<double, std::nano>(TClock::now() - wall0).count();
        const double cpu = static_cast<double>(ProcessCpuNs() - cpu0);
        const double emul = static_cast<double>(chip.HandlerCpuNs() - emul0);
        state.counters["cpu_share_pct"] = 100.0 * cpu / wall;
        state.counters["emul_share_pct"] = 100.0 * emul / wall;
        state.counters["link_share_pct"] = 100.0 * (cpu - emul) / wall;
    }
};

bool OpenUnit(TADC& adc, int rate) {
    std::string name, version;
    return adc.OpenDevice() && adc.CheckResponse() && adc.SetFilterSinc3() && adc.SetRate(rate) &&
           adc.GetUnitName(name) && name == adc.GetModelName() && adc.GetVersion(version);
}

TChipConfig Shape(int64_t arg) {
    TChipConfig c;
    c.shape = arg == 0 ? TShape::FT245R : TShape::FT232H;
    c.unit = CheckableUnit(1.0);
    return c;
}

// Polls as the window does: one ReadSamples of the rate's block per 1 ms tick.
void Stream(benchmark::State& state, long long samples) {
    TUsbBench bus;
    TEmulatedChip& chip = bus.Plug(Shape(state.range(0)));
    TADC adc;
    if (!OpenUnit(adc, 13)) {
        state.SkipWithError("the unit did not open");
        return;
    }
    std::vector<uint32_t> codes(static_cast<size_t>(samples));
    size_t have = 0;
    bool failed = false;
    const uint64_t urbs0 = chip.UrbsSubmitted();
    const uint64_t reaps0 = chip.ReapCalls();
    TShares shares;
    shares.emul0 = chip.HandlerCpuNs();
    for (auto _ : state) {
        if (!adc.StartConvert(0, samples)) {
            state.SkipWithError("start failed");
            return;
        }
        // Records come for samples / 10 ksps; allow a second more for the last one.
        const auto end = TClock::now() + std::chrono::milliseconds(samples / 10 + 1000);
        auto tick = TClock::now();
        while (have < codes.size() && TClock::now() < end) {
            int n = 0;
            const int want = static_cast<int>(std::min<size_t>(64, codes.size() - have));
            if (!adc.ReadSamples(codes.data() + have, n, want)) {
                failed = true;
                break;
            }
            have += static_cast<size_t>(n);
            tick += 1ms;
            std::this_thread::sleep_until(tick);
        }
        adc.StopConvert();
    }
    shares.Report(state, chip);
    const double wall = std::chrono::duration<double>(TClock::now() - shares.wall0).count();
    state.counters["urbs_per_s"] = static_cast<double>(chip.UrbsSubmitted() - urbs0) / wall;
    state.counters["reaps_per_s"] = static_cast<double>(chip.ReapCalls() - reaps0) / wall;
    const double period = SamplePeriodMs(13, 1) / 1000.0;
    long long wrong = 0;
    for (size_t k = 0; k < have; ++k)
        if (std::abs(static_cast<double>(codes[k]) -
                     ReferenceCode(2.0, 1234.5, period, static_cast<long long>(k))) > 2.0)
            ++wrong;
    state.counters["lost_samples"] = static_cast<double>(samples - static_cast<long long>(have));
    state.counters["wrong_samples"] = static_cast<double>(wrong);
    state.counters["link_failed"] = failed ? 1 : 0;
    state.counters["max_chip_fifo_bytes"] = static_cast<double>(chip.MaxFifoBytes());
    adc.CloseDevice();
}

// 5 s of streaming at 10 ksps in real time.
void BM_Stream10ksps(benchmark::State& state) {
    Stream(state, 50000);
}
BENCHMARK(BM_Stream10ksps)->Arg(0)->Arg(1)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

// The largest block, 262 144 samples at 10 ksps (26 s).
void BM_Block262144At10ksps(benchmark::State& state) {
    Stream(state, 262144);
}
BENCHMARK(BM_Block262144At10ksps)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);

// The link open after a measurement's opening, no measurement running: 1 s to settle, then 3 s.
void BM_IdleLinkOpen(benchmark::State& state) {
    TUsbBench bus;
    TEmulatedChip& chip = bus.Plug(Shape(state.range(0)));
    TADC adc;
    if (!OpenUnit(adc, 13)) {
        state.SkipWithError("the unit did not open");
        return;
    }
    std::this_thread::sleep_for(1s);
    const uint64_t urbs0 = chip.UrbsSubmitted();
    TShares shares;
    shares.emul0 = chip.HandlerCpuNs();
    for (auto _ : state)
        std::this_thread::sleep_for(3s);
    shares.Report(state, chip);
    state.counters["urbs_per_s"] = static_cast<double>(chip.UrbsSubmitted() - urbs0) / 3.0;
    adc.CloseDevice();
}
BENCHMARK(BM_IdleLinkOpen)->Arg(0)->Arg(1)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv) {
    // Again, under the preload library that puts the emulated bus in place.
    if (!TUsbBench::Preloaded()) return TUsbBench::RunPreloaded(argc, argv);
    setenv("KALVEX_UNIT_SOCKET", "/nonexistent/kalvex-unit.sock", 1);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
