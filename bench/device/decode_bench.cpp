// Decoding one 64-record block (the 10 ksps step): the digits alone, and the whole read
// through the link from a virtual device whose queue always holds a block.
#include "ad7177.h"
#include "d2xx/d2xx_virtual.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>

namespace {

std::string Block() {
    std::string s;
    for (int i = 0; i < 64; ++i) {
        char rec[10];
        std::snprintf(rec, sizeof rec, "%08X\r", 0x80000000u + static_cast<unsigned>(i) * 977u);
        s += rec;
    }
    return s;
}

void BM_DecodeRecords64(benchmark::State& state) {
    const std::string block = Block();
    const auto* p = reinterpret_cast<const uint8_t*>(block.data());
    uint32_t codes[64];
    for (auto _ : state) {
        for (int i = 0; i < 64; ++i) {
            if (p[i * 9 + 8] != '\r') state.SkipWithError("framing");
            codes[i] = TADC::DecodeRecord(p + i * 9);
        }
        benchmark::DoNotOptimize(codes);
    }
    state.SetItemsProcessed(state.iterations() * 64);
}
BENCHMARK(BM_DecodeRecords64);

class TBlockSource : public d2xx::TVirtualDevice {
public:
    void HostWrite(const uint8_t*, size_t) override {}
    void Collect(std::string& out) override { out += BlockText; }
    bool Connected() const override { return true; }
    std::string BlockText = Block();
};

void BM_ReadSamples64(benchmark::State& state) {
    d2xx::AttachVirtualDevice(std::make_shared<TBlockSource>());
    {
        TADC adc;
        if (!adc.OpenDevice()) state.SkipWithError("open");
        uint32_t codes[64];
        for (auto _ : state) {
            int n = 0;
            if (!adc.ReadSamples(codes, n, 64) || n != 64) state.SkipWithError("read");
            benchmark::DoNotOptimize(codes);
        }
        state.SetItemsProcessed(state.iterations() * 64);
    }
    d2xx::DetachVirtualDevice();
}
BENCHMARK(BM_ReadSamples64);

class TSilentUnit : public d2xx::TVirtualDevice {
public:
    void HostWrite(const uint8_t*, size_t) override {}
    void Collect(std::string&) override {}
    bool Connected() const override { return true; }
};

// The worst wait: a unit that never answers, so the acknowledgement wait polls for its whole
// 100 ms. Reports the CPU share of that polling in percent of one core.
void BM_SilentAckWait(benchmark::State& state) {
    d2xx::AttachVirtualDevice(std::make_shared<TSilentUnit>());
    {
        TADC adc;
        if (!adc.OpenDevice()) state.SkipWithError("open");
        double cpu = 0, wall = 0;
        for (auto _ : state) {
            timespec c0{}, c1{};
            clock_gettime(CLOCK_THREAD_CPUTIME_ID, &c0);
            const auto t0 = std::chrono::steady_clock::now();
            benchmark::DoNotOptimize(adc.CheckResponse());
            wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            clock_gettime(CLOCK_THREAD_CPUTIME_ID, &c1);
            cpu += static_cast<double>(c1.tv_sec - c0.tv_sec) +
                   static_cast<double>(c1.tv_nsec - c0.tv_nsec) * 1e-9;
        }
        state.counters["wait_cpu_pct"] = wall > 0 ? 100.0 * cpu / wall : 0.0;
    }
    d2xx::DetachVirtualDevice();
}
BENCHMARK(BM_SilentAckWait)->Iterations(10)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
