// Saving and loading a full 262144-sample data file, beside a raw write (with fsync) and a
// raw read of the same bytes.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <random>

#include "myfile.h"
#include "record.h"

namespace {

struct Fixture {
    std::unique_ptr<TMeasureRecord> rec = TMeasureRecord::Create();
    std::string path;
    std::string bytes;

    Fixture() {
        char dir[] = "/tmp/kalvex-bench-XXXXXX";
        path = std::string(mkdtemp(dir)) + "/b.DTA";
        std::mt19937 rng(1);
        std::normal_distribution<double> noise(0, 2e7);
        for (int i = 0; i < MAX_DATA_COUNT; ++i) {
            rec->CodeBuf[i] = static_cast<uint32_t>(2147483648.0 + noise(rng));
            rec->VoltBuf[i] = CodeToVolt(rec->CodeBuf[i]);
        }
        rec->SigData.ad_dnum = MAX_DATA_COUNT;
        rec->SigData.deltaF = 0.038146973f;
        rec->FileSetting.DataFileName = path;
        TmyFile f;
        f.WriteDTA(DTA_HEADER, &rec->ADSetting, &rec->SigData, &rec->FFTSetting, &rec->FileSetting);
        ReadWholeFile(path, bytes);
    }
};

Fixture& Fx() {
    static Fixture fx;
    return fx;
}

class YesSeam : public TDialogSeam {
public:
    bool askYesNo(const std::string&, const std::string&, TMsgIcon) override { return true; }
    bool askOkCancel(const std::string&, const std::string&, TMsgIcon) override { return true; }
    void showMessage(const std::string&, const std::string&, TMsgIcon) override {}
    std::optional<std::string> getSaveFileName(const std::string&, const std::string&) override {
        return std::nullopt;
    }
    std::optional<std::string> getOpenFileName(const std::string&, const std::string&) override {
        return std::nullopt;
    }
    std::optional<int32_t> getColor(int32_t) override { return std::nullopt; }
};

void BM_SaveData262144(benchmark::State& state) {
    auto& fx = Fx();
    YesSeam yes;
    TmyFile f(&yes);
    for (auto _ : state) {
        bool ok = f.WriteDTA(DTA_HEADER, &fx.rec->ADSetting, &fx.rec->SigData, &fx.rec->FFTSetting,
                             &fx.rec->FileSetting);
        benchmark::DoNotOptimize(ok);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * fx.bytes.size()));
}
BENCHMARK(BM_SaveData262144)->Unit(benchmark::kMillisecond);

void BM_LoadData262144(benchmark::State& state) {
    auto& fx = Fx();
    TmyFile f;
    for (auto _ : state) {
        TSignalData sig = fx.rec->RefData;
        TFFTSetting fft;
        TFileSetting file;
        TADSetting ad;
        bool ok = f.ReadDTA(fx.path, DTA_HEADER, &sig, &fft, &file, &ad);
        if (!ok) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(sig.ad_dnum);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * fx.bytes.size()));
}
BENCHMARK(BM_LoadData262144)->Unit(benchmark::kMillisecond);

void BM_RawWriteFsync(benchmark::State& state) {
    auto& fx = Fx();
    const std::string raw = fx.path + ".raw";
    for (auto _ : state) {
        int fd = ::open(raw.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        benchmark::DoNotOptimize(::write(fd, fx.bytes.data(), fx.bytes.size()));
        ::fsync(fd);
        ::close(fd);
    }
    std::remove(raw.c_str());
}
BENCHMARK(BM_RawWriteFsync)->Unit(benchmark::kMillisecond);

void BM_RawRead(benchmark::State& state) {
    auto& fx = Fx();
    std::string buf(fx.bytes.size(), '\0');
    for (auto _ : state) {
        int fd = ::open(fx.path.c_str(), O_RDONLY);
        benchmark::DoNotOptimize(::read(fd, buf.data(), buf.size()));
        ::close(fd);
    }
}
BENCHMARK(BM_RawRead)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
