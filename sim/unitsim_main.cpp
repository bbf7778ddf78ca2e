// kalvex-unitsim: the simulated A/D unit on its socket.
#include "unit_server.h"

#include <csignal>
#include <cstdio>

namespace {

std::atomic<bool> gStop{false};

void OnSignal(int) {
    gStop.store(true);
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string_view> args(argv + 1, argv + argc);
    TSimOptions options = ParseSimOptions(args);
    if (options.help) {
        std::fputs(SimHelpText().c_str(), stdout);
        return 0;
    }
    if (!options.error.empty()) {
        std::fprintf(stderr, "kalvex-unitsim: %s\n", options.error.c_str());
        return 2;
    }
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    return RunUnitServer(options, &gStop, stderr);
}
