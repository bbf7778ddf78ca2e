// CPU share while a measurement streams 10 ksps in real time from kalvex-unitsim: the
// simulator process, and the link's polling in this process (one ReadSamples every
// millisecond, as the program's acquisition timer does). Reported as counters, in percent of
// one core.
#include "ad7177.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

namespace {

int64_t ProcessCpuNs(pid_t pid) {
    std::ifstream f("/proc/" + std::to_string(pid) + "/schedstat");
    int64_t ns = 0;
    f >> ns;
    return ns;
}

int64_t ThreadCpuNs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1'000'000'000LL + ts.tv_nsec;
}

void BM_Stream10kspsRealTime(benchmark::State& state) {
    const std::string path = "/tmp/kalvex-bench-" + std::to_string(getpid()) + ".sock";
    ::setenv("KALVEX_UNIT_SOCKET", path.c_str(), 1);
    std::vector<std::string> args = {KALVEX_UNITSIM_PATH, "--socket", path, "--quiet"};
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        state.SkipWithError("spawn");
        return;
    }
    struct stat st {};
    for (int i = 0; i < 500 && ::stat(path.c_str(), &st) != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));

    const int total = static_cast<int>(state.range(0));
    double simPct = 0, linkPct = 0;
    for (auto _ : state) {
        TADC adc;
        if (!adc.OpenDevice() || !adc.CheckResponse() || !adc.SetFilterSinc3() ||
            !adc.SetRate(13) || !adc.StartConvert(0, total)) {
            state.SkipWithError("unit");
            break;
        }
        std::vector<uint32_t> codes(static_cast<size_t>(total));
        const int64_t sim0 = ProcessCpuNs(pid), link0 = ThreadCpuNs();
        const auto t0 = std::chrono::steady_clock::now();
        int have = 0;
        while (have < total) {
            int n = 0;
            if (!adc.ReadSamples(codes.data() + have, n, 64)) {
                state.SkipWithError("read");
                break;
            }
            have += n;
            if (n == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        const double wallNs =
            std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - t0).count();
        simPct = 100.0 * static_cast<double>(ProcessCpuNs(pid) - sim0) / wallNs;
        linkPct = 100.0 * static_cast<double>(ThreadCpuNs() - link0) / wallNs;
        adc.StopConvert();
    }
    state.counters["sim_cpu_pct"] = simPct;
    state.counters["link_cpu_pct"] = linkPct;
    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ::unsetenv("KALVEX_UNIT_SOCKET");
}
BENCHMARK(BM_Stream10kspsRealTime)->Arg(32768)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
