#include "unit_server.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

namespace {

constexpr size_t MAX_UNSENT = 4u << 20; // a host that stops reading loses what is beyond this

class TFd {
public:
    TFd() = default;
    explicit TFd(int fd) : Fd(fd) {}
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    ~TFd() { Reset(); }
    void Reset(int fd = -1) {
        if (Fd >= 0) ::close(Fd);
        Fd = fd;
    }
    int Get() const { return Fd; }
    int Release() {
        int fd = Fd;
        Fd = -1;
        return fd;
    }

private:
    int Fd = -1;
};

void Say(const TSimOptions& o, std::FILE* log, const std::string& text) {
    if (!o.quiet && log) std::fprintf(log, "kalvex-unitsim: %s\n", text.c_str());
}

bool FillAddress(const std::string& path, sockaddr_un& addr) {
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof addr.sun_path) return false;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    return true;
}

// A socket file left behind by a unit that is gone may be replaced; a live one may not.
bool SomeoneListens(const sockaddr_un& addr) {
    TFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (fd.Get() < 0) return false;
    return ::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
}

int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

int RunUnitServer(const TSimOptions& options, const std::atomic<bool>* stop, std::FILE* log) {
    const std::string path =
        options.socketPath.empty() ? DefaultUnitSocketPath() : options.socketPath;
    sockaddr_un addr{};
    if (!FillAddress(path, addr)) {
        Say(options, log, "socket path is empty or too long: " + path);
        return 1;
    }
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        if (!S_ISSOCK(st.st_mode)) {
            Say(options, log, path + " exists and is not a socket");
            return 1;
        }
        if (SomeoneListens(addr)) {
            Say(options, log, "another unit already listens on " + path);
            return 1;
        }
        ::unlink(path.c_str());
    }
    // Listen under a temporary name, then rename: whoever sees the path can connect at once.
    const std::string temp = path + ".new" + std::to_string(::getpid());
    sockaddr_un tempAddr{};
    TFd listener(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    ::unlink(temp.c_str());
    if (!FillAddress(temp, tempAddr) || listener.Get() < 0 ||
        ::bind(listener.Get(), reinterpret_cast<const sockaddr*>(&tempAddr), sizeof tempAddr) !=
            0 ||
        ::listen(listener.Get(), 4) != 0 || ::rename(temp.c_str(), path.c_str()) != 0) {
        Say(options, log, "cannot listen on " + path + ": " + std::strerror(errno));
        ::unlink(temp.c_str());
        return 1;
    }
    Say(options, log, "listening on " + path);

    // One unit for the server's whole life: a host that goes away leaves it as it was, still
    // streaming perhaps, and the next host meets it so. Only a pulled cable (the drop fault)
    // powers it off and on again.
    std::optional<TUnitEngine> engine;
    engine.emplace(options.unit);
    TFd client;
    std::string unsent;
    int64_t lastRecordFlush = 0;
    const int64_t tickNs = static_cast<int64_t>(options.tickMs * 1e6);
    char buf[4096];
    bool ending = false;

    auto dropClient = [&](const char* why, bool powerCycle) {
        client.Reset();
        unsent.clear(); // what sat in the unit's output buffer goes with the host
        if (powerCycle) engine.emplace(options.unit);
        Say(options, log, why);
        if (options.once) ending = true;
    };
    // Feeds everything the host has written to the unit. Reads until the socket is empty, so
    // a hang-up behind the last bytes is seen now, not a turn later.
    enum class THost { Here, Flooding, Gone };
    auto readClient = [&](int64_t now) {
        for (int reads = 0; reads < 64; ++reads) {
            ssize_t got = ::recv(client.Get(), buf, sizeof buf, 0);
            if (got > 0) {
                engine->Receive(buf, static_cast<size_t>(got), now);
            } else if (got < 0 && errno == EINTR) {
                continue;
            } else if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                return THost::Here;
            } else {
                return THost::Gone;
            }
        }
        return THost::Flooding;
    };
    auto acceptHost = [&](int64_t now) {
        TFd fd(::accept4(listener.Get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
        if (fd.Get() < 0) return;
        // A host that has just closed and connects again must find the unit free: take in what
        // the old connection still holds, its hang-up included, before judging the new one.
        THost old = THost::Here;
        for (int i = 0; client.Get() >= 0 && i < 16; ++i) {
            old = readClient(now);
            if (old != THost::Flooding) break;
        }
        if (client.Get() >= 0 && old == THost::Gone) dropClient("host disconnected", false);
        if (client.Get() >= 0 || ending) return; // one host at a time
        engine->Discard(now);                    // nobody read what the unit sent meanwhile
        client.Reset(fd.Release());
        lastRecordFlush = now;
        Say(options, log, "host connected");
    };

    while (!ending && !(stop && stop->load())) {
        // Sleep until the next reply or the next batch of records is due; with no host the
        // unit's output is lost anyway and nothing needs waking for.
        int64_t now = NowNs();
        int64_t wake = now + 100'000'000;
        if (client.Get() >= 0) {
            wake = std::min(wake, engine->NextReplyNs());
            int64_t rec = engine->NextRecordNs();
            if (rec != TUnitEngine::NEVER)
                wake = std::min(wake, std::max(rec, lastRecordFlush + tickNs));
        }
        pollfd fds[2] = {{listener.Get(), POLLIN, 0}, {client.Get(), POLLIN, 0}};
        if (!unsent.empty()) fds[1].events |= POLLOUT;
        const int64_t waitNs = std::max<int64_t>(0, wake - now);
        timespec ts{static_cast<time_t>(waitNs / 1'000'000'000),
                    static_cast<long>(waitNs % 1'000'000'000)};
        int n = ::ppoll(fds, client.Get() >= 0 ? 2 : 1, &ts, nullptr);
        if (n < 0 && errno != EINTR) break;
        now = NowNs();

        // The present host first: a hang-up must be known before a newcomer is judged.
        if (client.Get() >= 0 && n > 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) &&
            readClient(now) == THost::Gone)
            dropClient("host disconnected", false);
        if (n > 0 && (fds[0].revents & POLLIN)) acceptHost(now);
        if (client.Get() < 0) continue;

        const long long before = engine->RecordsSent();
        std::string out;
        engine->Collect(now, out);
        if (engine->RecordsSent() != before) lastRecordFlush = now;
        if (unsent.size() + out.size() <= MAX_UNSENT) unsent += out;
        while (!unsent.empty()) {
            ssize_t sent = ::send(client.Get(), unsent.data(), unsent.size(), MSG_NOSIGNAL);
            if (sent > 0) {
                unsent.erase(0, static_cast<size_t>(sent));
            } else {
                if (sent < 0 && errno != EAGAIN && errno != EINTR) unsent.clear();
                break;
            }
        }
        if (engine->Dropped()) dropClient("link dropped (fault)", true);
    }
    ::unlink(path.c_str());
    return 0;
}
