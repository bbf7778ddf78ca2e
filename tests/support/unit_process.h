// kalvex-unitsim started as a process of its own on a socket, ended with the test.
#pragma once

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

class TUnitProcess {
public:
    TUnitProcess(const std::string& program, const std::string& socket,
                 std::vector<std::string> extra) {
        std::vector<std::string> args = {program, "--socket", socket, "--quiet"};
        args.insert(args.end(), extra.begin(), extra.end());
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&Pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) Pid = -1;
        // Wait (boundedly) until it listens.
        struct stat st {};
        for (int i = 0; i < 500 && Pid > 0 && ::stat(socket.c_str(), &st) != 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ~TUnitProcess() {
        if (Pid <= 0) return;
        ::kill(Pid, SIGTERM);
        int status = 0;
        ::waitpid(Pid, &status, 0);
    }
    TUnitProcess(const TUnitProcess&) = delete;
    TUnitProcess& operator=(const TUnitProcess&) = delete;
    bool Running() const { return Pid > 0; }

private:
    pid_t Pid = -1;
};

// The simulated unit as kalvex-cli finds it: the socket path in KALVEX_UNIT_SOCKET and no USB
// chip of this machine (KALVEX_UNIT_SERIAL names none) while the object lives; Start runs
// kalvex-unitsim on that socket at the given speed.
class TSimulatedUnitEnv {
public:
    TSimulatedUnitEnv(std::string program, std::string socket)
        : Program(std::move(program)), Socket(std::move(socket)) {
        ::setenv("KALVEX_UNIT_SOCKET", Socket.c_str(), 1);
        ::setenv("KALVEX_UNIT_SERIAL", "no-such-chip", 1);
    }
    ~TSimulatedUnitEnv() {
        ::unsetenv("KALVEX_UNIT_SOCKET");
        ::unsetenv("KALVEX_UNIT_SERIAL");
    }
    TSimulatedUnitEnv(const TSimulatedUnitEnv&) = delete;
    TSimulatedUnitEnv& operator=(const TSimulatedUnitEnv&) = delete;
    std::unique_ptr<TUnitProcess> Start(std::vector<std::string> extra, const char* speed) const {
        extra.insert(extra.end(), {"--speed", speed});
        return std::make_unique<TUnitProcess>(Program, Socket, std::move(extra));
    }
    const std::string& SocketPath() const { return Socket; }

private:
    std::string Program, Socket;
};
