// The socket server in-process: hosts that come and go, and a unit that outlives them.
#include "unit_server.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

class TServer {
public:
    explicit TServer(TSimOptions o) : Options(std::move(o)) {
        Options.quiet = true;
        Thread = std::thread([this] { Result = RunUnitServer(Options, &Stop, nullptr); });
        struct stat st {};
        for (int i = 0; i < 500 && ::stat(Options.socketPath.c_str(), &st) != 0; ++i)
            std::this_thread::sleep_for(milliseconds(10));
    }
    ~TServer() {
        Stop = true;
        Thread.join();
    }
    TSimOptions Options;
    std::atomic<bool> Stop{false};
    int Result = -1;

private:
    std::thread Thread;
};

// One host connection, blocking with bounded waits.
class THost {
public:
    explicit THost(const std::string& path) {
        Fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
        if (::connect(Fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
            ::close(Fd);
            Fd = -1;
        }
    }
    ~THost() {
        if (Fd >= 0) ::close(Fd);
    }
    bool Ok() const { return Fd >= 0; }
    void Send(const std::string& s) {
        ASSERT_EQ(::send(Fd, s.data(), s.size(), MSG_NOSIGNAL), static_cast<ssize_t>(s.size()));
    }
    // Reads until `until` says the text is complete, the server hangs up, or the time is over.
    template <class Pred> bool ReadUntil(Pred until, int ms = 3000) {
        const auto end = Clock::now() + milliseconds(ms);
        while (!until(Got)) {
            const auto left = std::chrono::duration_cast<milliseconds>(end - Clock::now()).count();
            if (left <= 0 || !Poll(static_cast<int>(left))) return false;
        }
        return true;
    }
    // Everything that comes within ms.
    std::string ReadFor(int ms) {
        const auto end = Clock::now() + milliseconds(ms);
        for (long left = ms; left > 0;
             left = std::chrono::duration_cast<milliseconds>(end - Clock::now()).count())
            if (!Poll(static_cast<int>(left))) break;
        return Take();
    }
    // Waits until the unit has been silent for quietMs.
    void Drain(int quietMs = 50) {
        while (!ReadFor(quietMs).empty()) {
        }
    }
    std::string Take() {
        std::string s;
        s.swap(Got);
        return s;
    }
    bool HungUp() const { return fHungUp; }

private:
    bool Poll(int ms) {
        pollfd p{Fd, POLLIN, 0};
        if (::poll(&p, 1, ms) <= 0) return false;
        char buf[65536];
        ssize_t n = ::recv(Fd, buf, sizeof buf, 0);
        if (n <= 0) {
            fHungUp = true;
            return false;
        }
        Got.append(buf, static_cast<size_t>(n));
        return true;
    }
    int Fd = -1;
    std::string Got;
    bool fHungUp = false;
};

bool IsRecord(const std::string& s, size_t p) {
    return p + 9 <= s.size() && s[p + 8] == '\r' &&
           s.find_first_not_of("0123456789ABCDEF", p) == p + 8;
}

// Whole records only, and how many.
long Records(const std::string& s) {
    if (s.size() % 9 != 0) return -1;
    for (size_t p = 0; p < s.size(); p += 9)
        if (!IsRecord(s, p)) return -1;
    return static_cast<long>(s.size() / 9);
}

auto Ends(const char* tail) {
    return [tail](const std::string& s) { return s.ends_with(tail); };
}

class SimServer : public ::testing::Test {
protected:
    TSimOptions Options(std::initializer_list<std::string_view> extra = {}) {
        TSimOptions o = ParseSimOptions(extra);
        o.socketPath = Path;
        return o;
    }
    std::string Path = "/tmp/kalvex-srv-" + std::to_string(getpid()) + ".sock";
};

} // namespace

TEST_F(SimServer, QuickReconnectsAreNeverTurnedAway) {
    TServer server(Options());
    int refused = 0;
    for (int i = 0; i < 1500; ++i) {
        THost host(Path);
        ASSERT_TRUE(host.Ok()) << i;
        if (i % 5 == 4) continue; // connect and go at once
        host.Send("?\r");
        if (!host.ReadUntil(Ends("OK\r"))) ++refused;
        if (i % 3 == 0) host.Send("U?\r"); // and leave with a reply unread
    }
    EXPECT_EQ(refused, 0);
    // While a host is still here, a second one is turned away.
    THost first(Path);
    first.Send("?\r");
    ASSERT_TRUE(first.ReadUntil(Ends("OK\r")));
    THost second(Path);
    second.ReadFor(100);
    EXPECT_TRUE(second.HungUp());
    first.Send("?\r");
    EXPECT_TRUE(first.ReadUntil(Ends("OK\rOK\r")));
}

TEST_F(SimServer, AHostThatVanishesLeavesTheUnitStreaming) {
    TServer server(Options());
    {
        THost host(Path);
        host.Send("FD\r");
        ASSERT_TRUE(host.ReadUntil(Ends("OK\r")));
        host.Take();
        host.Send("A000000\r"); // 10 ksps until "AX"
        ASSERT_TRUE(host.ReadUntil([](const std::string& s) { return s.size() >= 900; }));
    } // gone without "AX"
    THost next(Path);
    const std::string stream = next.ReadFor(100);
    EXPECT_GE(Records(stream), 100) << "records, whole ones, without a word from the host";
    // "?" is answered inside the stream: what a careless host mistakes for a dead unit.
    next.Send("?\r");
    ASSERT_TRUE(next.ReadUntil([](const std::string& s) {
        const size_t ok = s.find("OK\r");
        return ok != std::string::npos && s.size() >= ok + 3 + 9 * 10;
    }));
    const std::string mixed = next.Take();
    const size_t ok = mixed.find("OK\r");
    EXPECT_GT(ok, 0u) << "records came first";
    EXPECT_EQ(Records(mixed.substr(0, ok)), static_cast<long>(ok / 9));
    EXPECT_GE(Records(mixed.substr(ok + 3, 90)), 10) << "and the stream went on";
    // "AX", a pause for what is on its way, and the unit is idle.
    next.Send("AX\r");
    next.Drain();
    next.Send("?\r");
    ASSERT_TRUE(next.ReadUntil(Ends("OK\r")));
    EXPECT_EQ(next.ReadFor(50), "OK\r");
}

TEST_F(SimServer, WhatComesDueWithoutAHostIsLost) {
    TServer server(Options({"--speed", "100"}));
    {
        THost host(Path);
        host.Send("F0\r"); // 5 sps, a record every 2 ms at this speed
        ASSERT_TRUE(host.ReadUntil(Ends("OK\r")));
        host.Take();
        host.Send("A000064\r"); // 100 records, 200 ms
        ASSERT_TRUE(host.ReadUntil([](const std::string& s) { return s.size() >= 90; }));
    }
    std::this_thread::sleep_for(milliseconds(400));
    THost next(Path);
    EXPECT_EQ(next.ReadFor(100), "") << "the count ran out while nobody was there";
    next.Send("?\r");
    ASSERT_TRUE(next.ReadUntil(Ends("OK\r")));
    EXPECT_EQ(next.Take(), "OK\r");
}

TEST_F(SimServer, APulledCablePowersTheUnitOffAndOn) {
    TServer server(Options({"--drop-after", "20", "--speed", "10"}));
    for (int round = 0; round < 2; ++round) {
        THost host(Path);
        host.Send("?\r");
        ASSERT_TRUE(host.ReadUntil(Ends("OK\r"))) << round << " finds a fresh, idle unit";
        EXPECT_EQ(host.Take(), "OK\r");
        host.Send("A000000\r");
        EXPECT_FALSE(host.ReadUntil([](const std::string&) { return false; }, 2000));
        EXPECT_TRUE(host.HungUp()) << round;
        EXPECT_EQ(Records(host.Take()), 20) << round;
    }
}

TEST_F(SimServer, RefusesABadPlace) {
    TSimOptions o = Options();
    o.quiet = true;
    o.socketPath = "/nonexistent-dir/unit.sock";
    EXPECT_EQ(RunUnitServer(o, nullptr, nullptr), 1);
    o.socketPath = std::string(200, 'x');
    EXPECT_EQ(RunUnitServer(o, nullptr, nullptr), 1);
}
