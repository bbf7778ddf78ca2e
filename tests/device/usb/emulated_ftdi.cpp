#include "emulated_ftdi.h"

#include "tables.h"

#include <umockdev.h>

#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <numbers>
#include <string>
#include <vector>

#include <time.h>
#include <unistd.h>

namespace usbemul {

namespace {

constexpr uint8_t EP_IN = 0x81;
constexpr uint8_t EP_OUT = 0x02;
// What an idle FIFO chip reports in the two bytes that open every packet.
constexpr uint8_t MODEM_STATUS[2] = {0x01, 0x60};
constexpr int64_t REAP_WAIT_NS = 1'000'000; // the emulated node always polls ready: slow the spin

int64_t ThreadCpuNs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

void Put16(std::string& s, unsigned v) {
    s.push_back(static_cast<char>(v & 0xFF));
    s.push_back(static_cast<char>((v >> 8) & 0xFF));
}

std::string Hex(const std::string& bytes) {
    std::string out;
    char b[3];
    for (unsigned char c : bytes) {
        std::snprintf(b, sizeof b, "%02x", c);
        out += b;
    }
    return out;
}

} // namespace

struct TEmulatedChip::TUrb {
    usbdevfs_urb* urb = nullptr; // the client's own structure (same address space)
    UMockdevIoctlClient* client = nullptr;
    int filled = 0;
};

struct TEmulatedChip::TClient {
    std::deque<usbdevfs_urb*> done; // completed, waiting to be reaped
};

struct TEmulatedChip::TPlug {
    TEmulatedChip* chip = nullptr;
    int gen = 0;
    int devnum = 0;
    std::string devnode; // /dev/bus/usb/001/NNN
    std::string syspath;
    UMockdevIoctlBase* handler = nullptr;
    bool unplugged = false;
    THolder holder = THolder::None;
    UMockdevIoctlClient* claimedBy = nullptr;
    std::optional<TUnitEngine> engine;
    std::string fifo; // bytes in the chip on their way to the host
    size_t fifoHead = 0;
    int64_t lastPacketNs = 0;
    int latencyMs = 16;
    std::deque<TUrb> pendingIn;
    std::map<UMockdevIoctlClient*, TClient> clients;

    size_t FifoSize() const { return fifo.size() - fifoHead; }
    void ClearFifo() {
        fifo.clear();
        fifoHead = 0;
    }
};

// ---- the bench

bool TUsbBench::Preloaded() {
    const char* preload = std::getenv("LD_PRELOAD");
    return preload && std::strstr(preload, "libumockdev-preload") != nullptr;
}

int TUsbBench::RunPreloaded(int argc, char** argv) {
    std::vector<char*> args;
    std::string wrapper = "umockdev-wrapper";
    args.push_back(wrapper.data());
    for (int i = 0; i < argc; ++i)
        args.push_back(argv[i]);
    args.push_back(nullptr);
    execvp(args[0], args.data());
    std::perror("umockdev-wrapper");
    return 1;
}

TUsbBench::TUsbBench() {
    if (!Preloaded()) {
        std::fprintf(stderr, "The emulated USB bus needs umockdev's preload library: run this "
                             "program through umockdev-wrapper.\n");
        std::abort();
    }
    Testbed = umockdev_testbed_new();
}

TUsbBench::~TUsbBench() {
    Chips.clear();
    g_object_unref(Testbed);
}

TEmulatedChip& TUsbBench::Plug(TChipConfig config) {
    Chips.push_back(std::unique_ptr<TEmulatedChip>(new TEmulatedChip(*this, std::move(config))));
    Chips.back()->PlugIn();
    return *Chips.back();
}

// ---- the chip

TEmulatedChip::TEmulatedChip(TUsbBench& bench, TChipConfig config)
    : Bench(bench), Cfg(std::move(config)), Index(static_cast<int>(bench.Chips.size())) {}

TEmulatedChip::~TEmulatedChip() {
    for (auto& plug : Plugs) {
        if (!plug->unplugged) {
            {
                std::lock_guard lock(Mutex);
                plug->unplugged = true;
            }
            umockdev_testbed_remove_device(Bench.Testbed, plug->syspath.c_str());
        }
        umockdev_testbed_detach_ioctl(Bench.Testbed, plug->devnode.c_str(), nullptr);
        for (auto& [client, state] : plug->clients)
            g_object_unref(client);
        g_object_unref(plug->handler);
    }
}

int TEmulatedChip::MaxPacket() const {
    return Cfg.shape == TShape::FT245R ? 64 : 512;
}

int64_t TEmulatedChip::NowNs() const {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(TClock::now() - Epoch).count();
}

std::string TEmulatedChip::Descriptors() const {
    const bool hs = Cfg.shape == TShape::FT232H;
    std::string d;
    // Device
    d += "\x12\x01";
    Put16(d, 0x0200);
    d += std::string("\x00\x00\x00", 3);
    d.push_back(static_cast<char>(hs ? 64 : 8));
    Put16(d, 0x0403);
    Put16(d, hs ? 0x6014 : 0x6001);
    Put16(d, hs ? 0x0900 : 0x0600);
    d += "\x01\x02\x03\x01";
    // Configuration, one interface, two bulk endpoints
    d += "\x09\x02";
    Put16(d, 32);
    d += std::string("\x01\x01\x00\xa0\x2d", 5);
    d += std::string("\x09\x04\x00\x00\x02\xff\xff\xff\x02", 9);
    d += std::string("\x07\x05", 2);
    d.push_back(static_cast<char>(EP_IN));
    d.push_back(2);
    Put16(d, static_cast<unsigned>(MaxPacket()));
    d.push_back(0);
    d += std::string("\x07\x05", 2);
    d.push_back(static_cast<char>(EP_OUT));
    d.push_back(2);
    Put16(d, static_cast<unsigned>(MaxPacket()));
    d.push_back(0);
    return d;
}

std::string TEmulatedChip::StringDescriptor(int index) const {
    if (index == 0) return std::string("\x04\x03\x09\x04", 4);
    const std::string& text = index == 1 ? Cfg.manufacturer : index == 2 ? Cfg.product : Cfg.serial;
    std::string d;
    d.push_back(static_cast<char>(2 + 2 * text.size()));
    d.push_back(3);
    for (char c : text) {
        d.push_back(c);
        d.push_back(0);
    }
    return d;
}

void TEmulatedChip::PlugIn() {
    auto plug = std::make_unique<TPlug>();
    plug->chip = this;
    plug->gen = static_cast<int>(Plugs.size());
    plug->devnum = Bench.NextDevnum++;
    plug->holder = Cfg.holder;
    if (Cfg.unit) plug->engine.emplace(*Cfg.unit);
    plug->lastPacketNs = NowNs();
    char node[64];
    std::snprintf(node, sizeof node, "/dev/bus/usb/001/%03d", plug->devnum);
    plug->devnode = node;
    const std::string name = "1-" + std::to_string(plug->devnum);
    plug->syspath = "/sys/devices/usb1/" + name;

    plug->handler = umockdev_ioctl_base_new();
    g_signal_connect(plug->handler, "handle-ioctl", G_CALLBACK(&TEmulatedChip::OnIoctl),
                     plug.get());
    // The handler first: the device must answer as soon as it appears.
    umockdev_testbed_attach_ioctl(Bench.Testbed, plug->devnode.c_str(), plug->handler, nullptr);

    const bool hs = Cfg.shape == TShape::FT232H;
    char busnum[8], devnum[8];
    std::snprintf(busnum, sizeof busnum, "%03d", 1);
    std::snprintf(devnum, sizeof devnum, "%03d", plug->devnum);
    std::string rec;
    rec += "P: /devices/usb1/" + name + "\n";
    rec += "N: bus/usb/001/" + std::string(devnum) + "\n";
    rec += "E: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DRIVER=usb\n";
    rec += "E: BUSNUM=001\nE: DEVNUM=" + std::string(devnum) + "\n";
    rec += "E: DEVNAME=" + plug->devnode + "\n";
    rec +=
        "E: PRODUCT=403/" + std::string(hs ? "6014" : "6001") + "/" + (hs ? "900" : "600") + "\n";
    rec += "A: busnum=1\\n\nA: devnum=" + std::to_string(plug->devnum) + "\\n\n";
    rec += "A: bConfigurationValue=1\\n\n";
    rec += std::string("A: speed=") + (hs ? "480" : "12") + "\\n\n";
    rec += "A: idVendor=0403\\n\n";
    rec += std::string("A: idProduct=") + (hs ? "6014" : "6001") + "\\n\n";
    rec += "A: serial=" + Cfg.serial + "\\n\n";
    rec += "H: descriptors=" + Hex(Descriptors()) + "\n";
    GError* error = nullptr;
    if (!umockdev_testbed_add_from_string(Bench.Testbed, rec.c_str(), &error)) {
        std::fprintf(stderr, "emulated chip: %s\n", error ? error->message : "?");
        std::abort();
    }
    {
        std::lock_guard lock(Mutex);
        Plugs.push_back(std::move(plug));
    }
    umockdev_testbed_uevent(Bench.Testbed, Plugs.back()->syspath.c_str(), "add");
}

void TEmulatedChip::Unplug() {
    std::string syspath;
    {
        std::lock_guard lock(Mutex);
        TPlug& plug = *Plugs.back();
        if (plug.unplugged) return;
        plug.unplugged = true;
        // The host controller gives every transfer in flight back as shut down.
        for (TUrb& u : plug.pendingIn) {
            u.urb->status = -ESHUTDOWN;
            u.urb->actual_length = u.filled;
            plug.clients[u.client].done.push_back(u.urb);
        }
        plug.pendingIn.clear();
        syspath = plug.syspath;
    }
    Wake.notify_all();
    umockdev_testbed_uevent(Bench.Testbed, syspath.c_str(), "remove");
    umockdev_testbed_remove_device(Bench.Testbed, syspath.c_str());
}

void TEmulatedChip::Replug() {
    if (Plugged()) Unplug();
    PlugIn();
}

bool TEmulatedChip::Plugged() const {
    std::lock_guard lock(Mutex);
    return !Plugs.back()->unplugged;
}

std::string TEmulatedChip::Driver() const {
    std::lock_guard lock(Mutex);
    const TPlug& plug = *Plugs.back();
    if (plug.claimedBy || plug.holder == THolder::OtherProgram) return "usbfs";
    return plug.holder == THolder::SerialDriver ? "ftdi_sio" : "";
}

uint64_t TEmulatedChip::UrbsSubmitted() const {
    std::lock_guard lock(Mutex);
    return Urbs;
}

uint64_t TEmulatedChip::DetachAttempts() const {
    std::lock_guard lock(Mutex);
    return Detaches;
}

uint64_t TEmulatedChip::ReapCalls() const {
    std::lock_guard lock(Mutex);
    return Reaps;
}

uint64_t TEmulatedChip::BulkSubmitted() const {
    std::lock_guard lock(Mutex);
    return Bulks;
}

std::vector<TWireCommand> TEmulatedChip::Commands() const {
    std::lock_guard lock(Mutex);
    return Log;
}

std::optional<TWireCommand> TEmulatedChip::CommandAfter(const std::string& line,
                                                        TClock::time_point t) const {
    std::lock_guard lock(Mutex);
    for (const TWireCommand& c : Log)
        if (c.line == line && c.at >= t) return c;
    return std::nullopt;
}

int TEmulatedChip::LatencyMs() const {
    std::lock_guard lock(Mutex);
    return Plugs.back()->latencyMs;
}

uint64_t TEmulatedChip::Purges() const {
    std::lock_guard lock(Mutex);
    return PurgeCount;
}

size_t TEmulatedChip::MaxFifoBytes() const {
    std::lock_guard lock(Mutex);
    return MaxFifo;
}

long long TEmulatedChip::RecordsSent() const {
    std::lock_guard lock(Mutex);
    const TPlug& plug = *Plugs.back();
    return plug.engine ? plug.engine->RecordsSent() : 0;
}

bool TEmulatedChip::Converting() const {
    std::lock_guard lock(Mutex);
    const TPlug& plug = *Plugs.back();
    return plug.engine && plug.engine->Converting();
}

void TEmulatedChip::HoldShortPackets(bool hold) {
    std::lock_guard lock(Mutex);
    HoldShort = hold;
}

uint64_t TEmulatedChip::CancelledWithData() const {
    std::lock_guard lock(Mutex);
    return Cancelled;
}

void TEmulatedChip::Inject(const std::string& bytes) {
    std::lock_guard lock(Mutex);
    Plugs.back()->fifo += bytes;
}

int64_t TEmulatedChip::HandlerCpuNs() const {
    std::lock_guard lock(Mutex);
    return HandlerCpu;
}

std::string TEmulatedChip::DevNode() const {
    std::lock_guard lock(Mutex);
    return Plugs.back()->devnode;
}

int TEmulatedChip::Address() const {
    std::lock_guard lock(Mutex);
    return Plugs.back()->devnum;
}

// ---- the chip's behaviour

void TEmulatedChip::Advance(TPlug& plug, int64_t nowNs) {
    if (plug.engine) plug.engine->Collect(nowNs, plug.fifo);
    MaxFifo = std::max(MaxFifo, plug.FifoSize());
}

// Fills the IN transfers in flight as the chip would have by now: a full packet whenever the
// chip holds a packet's worth, a short one (perhaps only the two status bytes) once the latency
// timer has run out. A short packet ends its transfer. True when one completed.
bool TEmulatedChip::ProgressIn(TPlug& plug, int64_t nowNs) {
    if (plug.pendingIn.empty()) return false;
    Advance(plug, nowNs);
    bool completed = false;
    const int maxPacket = MaxPacket();
    while (!plug.pendingIn.empty()) {
        TUrb& u = plug.pendingIn.front();
        auto* buf = static_cast<uint8_t*>(u.urb->buffer);
        bool done = false;
        while (!done) {
            const int room = u.urb->buffer_length - u.filled;
            if (room < 2) {
                done = true;
                break;
            }
            const int packet = std::min(maxPacket, room);
            const size_t payloadMax = static_cast<size_t>(packet - 2);
            const bool full = packet == maxPacket && plug.FifoSize() >= payloadMax;
            const bool timerOut =
                !HoldShort && nowNs - plug.lastPacketNs >= plug.latencyMs * 1'000'000LL;
            if (!full && !timerOut) break;
            const size_t n = std::min(payloadMax, plug.FifoSize());
            std::memcpy(buf + u.filled, MODEM_STATUS, 2);
            std::memcpy(buf + u.filled + 2, plug.fifo.data() + plug.fifoHead, n);
            plug.fifoHead += n;
            if (plug.fifoHead == plug.fifo.size()) plug.ClearFifo();
            u.filled += 2 + static_cast<int>(n);
            plug.lastPacketNs = nowNs;
            if (2 + n < static_cast<size_t>(maxPacket)) done = true; // a short packet
        }
        if (!done) break;
        u.urb->status = 0;
        u.urb->actual_length = u.filled;
        plug.clients[u.client].done.push_back(u.urb);
        plug.pendingIn.pop_front();
        completed = true;
    }
    return completed;
}

void TEmulatedChip::BulkOut(TPlug& plug, const uint8_t* data, size_t n) {
    const int64_t now = NowNs();
    const auto at = TClock::now();
    if (plug.engine) {
        Advance(plug, now); // what the unit said before the command is already on its way
        plug.engine->Receive(reinterpret_cast<const char*>(data), n, now);
    }
    for (size_t i = 0; i < n; ++i) {
        const char c = static_cast<char>(data[i]);
        if (c == '\r') {
            Log.push_back({LineSoFar, at, plug.gen});
            LineSoFar.clear();
        } else if (c != '\n') {
            LineSoFar.push_back(c);
        }
    }
}

void TEmulatedChip::Control(TPlug& plug, TUrb& u, TClient&) {
    auto* buf = static_cast<uint8_t*>(u.urb->buffer);
    const uint8_t type = buf[0];
    const uint8_t request = buf[1];
    const unsigned value = buf[2] | (buf[3] << 8);
    const unsigned length = buf[6] | (buf[7] << 8);
    std::string reply;
    if (type == 0x80 && request == 6) { // GET_DESCRIPTOR
        const std::string all = Descriptors();
        const unsigned kind = value >> 8;
        if (kind == 1)
            reply = all.substr(0, 18);
        else if (kind == 2)
            reply = all.substr(18);
        else if (kind == 3)
            reply = StringDescriptor(static_cast<int>(value & 0xFF));
    } else if (type == 0x80 && request == 8) { // GET_CONFIGURATION
        reply = "\x01";
    } else if (type == 0x40) {
        if (request == 0) { // reset / purge
            if (value == 0 || value == 2) {
                if (plug.engine) Advance(plug, NowNs());
                plug.ClearFifo();
                ++PurgeCount;
            }
        } else if (request == 9) { // latency timer
            plug.latencyMs = std::max(1, static_cast<int>(value & 0xFF));
        }
    } else if (type == 0xC0) {
        if (request == 5) // modem status
            reply.assign(reinterpret_cast<const char*>(MODEM_STATUS), 2);
        else if (request == 10) // latency timer
            reply.assign(1, static_cast<char>(plug.latencyMs));
        else
            reply.assign(length, '\0');
    }
    if (type & 0x80) {
        const size_t n =
            std::min<size_t>({reply.size(), length, static_cast<size_t>(u.urb->buffer_length - 8)});
        std::memcpy(buf + 8, reply.data(), n);
        u.urb->actual_length = static_cast<int>(n);
    } else {
        u.urb->actual_length = static_cast<int>(length);
    }
    u.urb->status = 0;
}

int TEmulatedChip::OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, void* p) {
    auto& plug = *static_cast<TPlug*>(p);
    TResult r = plug.chip->Ioctl(plug, client);
    static const bool trace = std::getenv("KALVEX_USBEMUL_TRACE") != nullptr;
    if (trace)
        std::fprintf(stderr, "usbemul %s ioctl %#lx -> %ld errno %d%s\n", plug.devnode.c_str(),
                     umockdev_ioctl_client_get_request(client), r.result, r.err,
                     r.handled ? "" : " (not handled)");
    // Completed outside the chip's lock: umockdev may run further handlers from inside.
    if (r.handled) umockdev_ioctl_client_complete(client, r.result, r.err);
    return r.handled ? TRUE : FALSE;
}

void TEmulatedChip::OnClientGone(void* client, void*, void* p) {
    auto& plug = *static_cast<TPlug*>(p);
    auto* c = static_cast<UMockdevIoctlClient*>(client);
    if (umockdev_ioctl_client_get_connected(c)) return;
    TEmulatedChip& chip = *plug.chip;
    std::lock_guard lock(chip.Mutex);
    // Closing the device node releases its interface and cancels its transfers.
    if (plug.claimedBy == c) plug.claimedBy = nullptr;
    std::erase_if(plug.pendingIn, [c](const TUrb& u) { return u.client == c; });
    auto it = plug.clients.find(c);
    if (it != plug.clients.end()) {
        plug.clients.erase(it);
        g_object_unref(c);
    }
}

TEmulatedChip::TResult TEmulatedChip::Ioctl(TPlug& plug, UMockdevIoctlClient* client) {
    const unsigned long request = umockdev_ioctl_client_get_request(client);
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    void* argp = *reinterpret_cast<void**>(arg->data);
    auto complete = [](long result, int err) { return TResult{true, result, err}; };

    std::unique_lock lock(Mutex);
    HandlerCpu = ThreadCpuNs();
    if (!plug.clients.count(client)) {
        g_object_ref(client);
        plug.clients[client];
        g_signal_connect(client, "notify::connected", G_CALLBACK(&TEmulatedChip::OnClientGone),
                         &plug);
    }
    TClient& me = plug.clients[client];
    const bool gone = plug.unplugged;

    switch (request) {
    case USBDEVFS_GET_CAPABILITIES:
        if (gone) return complete(-1, ENODEV);
        *static_cast<uint32_t*>(argp) = USBDEVFS_CAP_BULK_CONTINUATION |
                                        USBDEVFS_CAP_NO_PACKET_SIZE_LIM |
                                        USBDEVFS_CAP_REAP_AFTER_DISCONNECT;
        return complete(0, 0);

    case USBDEVFS_CLAIMINTERFACE: {
        if (gone) return complete(-1, ENODEV);
        if (*static_cast<unsigned*>(argp) != 0) return complete(-1, EINVAL);
        if (plug.claimedBy == client) return complete(0, 0);
        if (plug.claimedBy || plug.holder != THolder::None) return complete(-1, EBUSY);
        plug.claimedBy = client;
        return complete(0, 0);
    }
    case USBDEVFS_RELEASEINTERFACE:
        if (gone) return complete(-1, ENODEV);
        if (*static_cast<unsigned*>(argp) != 0 || plug.claimedBy != client)
            return complete(-1, EINVAL);
        plug.claimedBy = nullptr;
        return complete(0, 0);

    case USBDEVFS_GETDRIVER: {
        if (gone) return complete(-1, ENODEV);
        auto* gd = static_cast<usbdevfs_getdriver*>(argp);
        if (gd->interface != 0) return complete(-1, EINVAL);
        const char* name = plug.claimedBy || plug.holder == THolder::OtherProgram ? "usbfs"
                           : plug.holder == THolder::SerialDriver                 ? "ftdi_sio"
                                                                                  : nullptr;
        if (!name) return complete(-1, ENODATA);
        std::snprintf(gd->driver, sizeof gd->driver, "%s", name);
        return complete(0, 0);
    }
    case USBDEVFS_IOCTL: {
        if (gone) return complete(-1, ENODEV);
        auto* io = static_cast<usbdevfs_ioctl*>(argp);
        if (io->ifno != 0) return complete(-1, EINVAL);
        const bool usbfs = plug.claimedBy || plug.holder == THolder::OtherProgram;
        if (io->ioctl_code == static_cast<int>(USBDEVFS_DISCONNECT)) {
            ++Detaches;
            if (usbfs) return complete(-1, EINVAL);
            if (plug.holder != THolder::SerialDriver) return complete(-1, ENODATA);
            plug.holder = THolder::None;
            return complete(0, 0);
        }
        if (io->ioctl_code == static_cast<int>(USBDEVFS_CONNECT)) {
            if (usbfs || plug.holder != THolder::None) return complete(0, 0);
            plug.holder = THolder::SerialDriver; // the serial driver probes and binds
            return complete(1, 0);
        }
        return complete(-1, ENOTTY);
    }
    case USBDEVFS_DISCONNECT_CLAIM: {
        if (gone) return complete(-1, ENODEV);
        auto* dc = static_cast<usbdevfs_disconnect_claim*>(argp);
        ++Detaches;
        if (dc->interface != 0) return complete(-1, EINVAL);
        if (plug.claimedBy == client) return complete(0, 0);
        if (plug.claimedBy || plug.holder == THolder::OtherProgram) return complete(-1, EBUSY);
        plug.holder = THolder::None;
        plug.claimedBy = client;
        return complete(0, 0);
    }
    case USBDEVFS_SETINTERFACE:
    case USBDEVFS_SETCONFIGURATION:
    case USBDEVFS_CLEAR_HALT:
    case USBDEVFS_RESETEP:
    case USBDEVFS_RESET:
        return gone ? complete(-1, ENODEV) : complete(0, 0);

    case USBDEVFS_SUBMITURB: {
        if (gone) return complete(-1, ENODEV);
        auto* urb = static_cast<usbdevfs_urb*>(argp);
        ++Urbs;
        TUrb u{urb, client, 0};
        if (urb->type == USBDEVFS_URB_TYPE_CONTROL) {
            if (urb->buffer_length < 8) return complete(-1, EINVAL);
            Control(plug, u, me);
            me.done.push_back(urb);
            return complete(0, 0);
        }
        if (urb->type != USBDEVFS_URB_TYPE_BULK) return complete(-1, EINVAL);
        ++Bulks;
        // Bulk transfers need the interface; usbfs claims a free one on the fly.
        if (plug.claimedBy != client) {
            if (plug.claimedBy || plug.holder != THolder::None) return complete(-1, EBUSY);
            plug.claimedBy = client;
        }
        if (urb->endpoint == EP_OUT) {
            BulkOut(plug, static_cast<const uint8_t*>(urb->buffer),
                    static_cast<size_t>(std::max(0, urb->buffer_length)));
            urb->actual_length = urb->buffer_length;
            urb->status = 0;
            me.done.push_back(urb);
            return complete(0, 0);
        }
        if (urb->endpoint != EP_IN) return complete(-1, EINVAL);
        plug.pendingIn.push_back(u);
        return complete(0, 0);
    }
    case USBDEVFS_DISCARDURB: {
        auto* urb = static_cast<usbdevfs_urb*>(argp);
        auto it = std::find_if(plug.pendingIn.begin(), plug.pendingIn.end(),
                               [&](const TUrb& t) { return t.urb == urb && t.client == client; });
        if (it == plug.pendingIn.end()) return complete(-1, EINVAL);
        // What already crossed the wire stays in the buffer.
        urb->status = -ENOENT;
        urb->actual_length = it->filled;
        if (it->filled > 2) ++Cancelled;
        plug.pendingIn.erase(it);
        me.done.push_back(urb);
        return complete(0, 0);
    }
    case USBDEVFS_REAPURB:
    case USBDEVFS_REAPURBNDELAY: {
        ++Reaps;
        auto reap = [&] {
            usbdevfs_urb* urb = me.done.front();
            me.done.pop_front();
            *static_cast<usbdevfs_urb**>(argp) = urb;
            return complete(0, 0);
        };
        if (me.done.empty() && !gone) ProgressIn(plug, NowNs());
        if (!me.done.empty()) return reap();
        if (gone) return complete(-1, ENODEV);
        const bool mine = std::any_of(plug.pendingIn.begin(), plug.pendingIn.end(),
                                      [&](const TUrb& t) { return t.client == client; });
        if (!mine) return complete(-1, EAGAIN);
        // Nothing yet: wait a little (at most until the latency timer runs out), then look
        // again, so that libusb's poll loop on the always-ready node does not spin.
        const int64_t now = NowNs();
        const int64_t timerOut = plug.lastPacketNs + plug.latencyMs * 1'000'000LL;
        const int64_t wait = std::clamp<int64_t>(timerOut - now, 0, REAP_WAIT_NS);
        Wake.wait_for(lock, std::chrono::nanoseconds(wait));
        if (!plug.unplugged) ProgressIn(plug, NowNs());
        if (!me.done.empty()) return reap();
        return complete(-1, plug.unplugged ? ENODEV : EAGAIN);
    }
    default:
        return TResult{};
    }
}

// ---- checking codes

std::string ShapeName(const ::testing::TestParamInfo<TShape>& info) {
    return info.param == TShape::FT245R ? "FT245R" : "FT232H";
}

TUnitConfig CheckableUnit(double speed) {
    TUnitConfig c;
    c.speed = speed;
    for (auto& ch : c.channels)
        ch = TChannelSignal{0.0, {{1234.5, 2.0, 0.0}}, 0.0};
    return c;
}

double ReferenceCode(double ampV, double freqHz, double periodS, long long k) {
    const double v =
        ampV * std::sin(2.0 * std::numbers::pi * freqHz * periodS * static_cast<double>(k));
    return 2147483648.0 + v / 2.5 * 2147483648.0; // offset binary, +-2.5 V full scale
}

} // namespace usbemul
