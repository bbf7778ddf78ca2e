// The simulated unit: a Unix-domain stream that carries exactly the bytes of the USB link.
#include "backend.h"

#include <cerrno>
#include <cstring>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace d2xx {

namespace {

constexpr size_t MAX_FILL = 1u << 20; // per call, so a flood cannot keep a call busy
constexpr int WRITE_PATIENCE_MS = 20; // a unit that reads nothing for this long is gone

class TSocketBackend : public TBackend {
public:
    explicit TSocketBackend(int fd) : Fd(fd) {}
    ~TSocketBackend() override { ::close(Fd); }

    bool Write(const uint8_t* data, size_t n) override {
        size_t done = 0;
        while (done < n) {
            ssize_t r = ::send(Fd, data + done, n - done, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (r > 0) {
                done += static_cast<size_t>(r);
            } else if (r < 0 && (errno == EAGAIN || errno == EINTR)) {
                pollfd p{Fd, POLLOUT, 0};
                if (::poll(&p, 1, WRITE_PATIENCE_MS) <= 0) return false;
            } else {
                return false;
            }
        }
        return true;
    }

    bool Fill(TRxQueue& rx) override {
        size_t total = 0;
        while (total < MAX_FILL) {
            ssize_t r = ::recv(Fd, Buf, sizeof Buf, MSG_DONTWAIT);
            if (r > 0) {
                rx.Append(Buf, static_cast<size_t>(r));
                total += static_cast<size_t>(r);
            } else if (r < 0 && errno == EINTR) {
                continue;
            } else {
                return r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
            }
        }
        return true;
    }

    bool Purge(uint32_t) override {
        // Bytes still in the socket are part of the device's queue: read them so the caller's
        // purge drops them too.
        TRxQueue discard;
        return Fill(discard);
    }

    bool SetUSBParameters(uint32_t, uint32_t) override { return true; }

private:
    int Fd;
    char Buf[65536];
};

} // namespace

std::unique_ptr<TBackend> OpenSocketBackend(const std::string& path) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof addr.sun_path) return nullptr;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return nullptr;
    // A Unix socket connects at once or not at all (no listener, full backlog): never waits.
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<TSocketBackend>(fd);
}

} // namespace d2xx
