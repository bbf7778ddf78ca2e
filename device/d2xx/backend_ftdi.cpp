// FTDI chips on USB. libftdi1 finds, opens and configures the chip; the receive side runs on
// asynchronous libusb bulk-IN transfers on the handle libftdi opened, reaped by a thread of our
// own, so no call from the caller's thread ever waits behind a bulk read.
//
// When reading runs: IN transfers are kept in flight from any call of the caller (write, queue
// query, read, purge) or the arrival of payload until READ_IDLE passes with neither. The window
// polls every millisecond while it measures and not at all otherwise, and every command starts
// with a write, so replies always find a transfer waiting, while an idle link has nothing in
// flight: no USB traffic, and the reaper thread sleeps on a condition variable.
#include "backend.h"

#include <ftdi.h>
#include <libusb.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

#include <pthread.h>

namespace d2xx {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int FTDI_VENDOR = 0x0403;
constexpr int INTERFACE = 0;
constexpr unsigned char LATENCY_MS = 2;    // short packets come back at least this often
constexpr size_t TRANSFERS = 4;            // IN transfers in flight while reading
constexpr size_t DEFAULT_TRANSFER = 4096;  // until the caller sets its in-transfer size
constexpr size_t MAX_TRANSFER = 64 * 1024; // larger requests are cut to this
constexpr auto READ_IDLE = std::chrono::milliseconds(100);
constexpr unsigned IN_TIMEOUT_MS = 1000; // on expiry the bytes are kept and it goes on
constexpr int CONTROL_TIMEOUT_MS = 500;
constexpr unsigned WRITE_TIMEOUT_MS = 1000; // a chip that takes nothing this long is stuck
constexpr int MAX_IO_ERRORS = 8;            // failed transfers in a row that end the link
constexpr auto DRAIN_PATIENCE = std::chrono::milliseconds(500);
constexpr int EVENT_WAIT_US = 100 * 1000;

class TFtdiBackend;

struct TInTransfer {
    TFtdiBackend* owner = nullptr;
    libusb_transfer* xfer = nullptr;
    std::vector<unsigned char> buf;
    uint64_t generation = 0; // of the purge count at submission
    bool busy = false;
};

class TFtdiBackend : public TBackend {
public:
    TFtdiBackend(ftdi_context* ctx, bool giveBackDriver)
        : Ctx(ctx), Handle(ctx->usb_dev), InEp(static_cast<unsigned char>(ctx->out_ep)),
          OutEp(static_cast<unsigned char>(ctx->in_ep)), GiveBackDriver(giveBackDriver) {
        // libftdi names its endpoints from the chip's side: out_ep carries data to the host.
        int mps = libusb_get_max_packet_size(libusb_get_device(Handle), InEp);
        if (mps <= 2) mps = static_cast<int>(ctx->max_packet_size);
        MaxPacket = mps > 2 ? static_cast<size_t>(mps) : 64;
        TransferSize = RoundTransfer(DEFAULT_TRANSFER);
        for (auto& t : In) {
            t.owner = this;
            t.xfer = libusb_alloc_transfer(0);
            if (!t.xfer) Failed = true;
        }
        Reaper = std::thread([this] { ReapLoop(); });
    }

    ~TFtdiBackend() override {
        {
            std::unique_lock lock(M);
            Quit = true;
            CancelAll();
            DrainWait.wait_for(lock, DRAIN_PATIENCE, [this] { return InFlight == 0; });
            GiveUp = true; // libusb_close below forgets whatever did not come back
        }
        Wake.notify_all();
        Reaper.join();
        // Given back to the serial-port driver before the handle goes; on a vanished chip both
        // calls fail at once.
        libusb_release_interface(Handle, INTERFACE);
        if (GiveBackDriver) libusb_attach_kernel_driver(Handle, INTERFACE);
        ftdi_usb_close(Ctx);
        for (auto& t : In)
            if (t.xfer) libusb_free_transfer(t.xfer);
        ftdi_free(Ctx);
    }

    TFtdiBackend(const TFtdiBackend&) = delete;
    TFtdiBackend& operator=(const TFtdiBackend&) = delete;

    bool Write(const uint8_t* data, size_t n) override {
        {
            std::lock_guard lock(M);
            if (Failed) return false;
            // Reading starts before the command leaves, so its reply finds a transfer waiting.
            Touch();
        }
        OutBuf.assign(data, data + n);
        size_t done = 0;
        while (done < n) {
            const int chunk = static_cast<int>(std::min<size_t>(n - done, 4096));
            int sent = 0;
            const int r = libusb_bulk_transfer(Handle, OutEp, OutBuf.data() + done, chunk, &sent,
                                               WRITE_TIMEOUT_MS);
            done += static_cast<size_t>(std::max(sent, 0));
            if (r == LIBUSB_ERROR_NO_DEVICE) {
                std::lock_guard lock(M);
                Failed = true;
            }
            if (done < n && (r != 0 || sent <= 0)) return false;
        }
        return true;
    }

    bool Fill(TRxQueue& rx) override {
        std::lock_guard lock(M);
        rx.Append(Inbox.data(), Inbox.size());
        Inbox.clear();
        if (Failed) return false;
        Touch();
        return true;
    }

    bool Purge(uint32_t mask) override {
        {
            std::unique_lock lock(M);
            if (Failed) return false;
        }
        if (mask & 1) {
            std::unique_lock lock(M);
            // Every byte read before this point is dropped: transfers in flight are called
            // back and their bytes discarded, and none is sent again until the chip's own
            // buffer is empty too.
            Purging = true;
            ++Generation;
            CancelAll();
            const bool drained = DrainWait.wait_for(lock, DRAIN_PATIENCE,
                                                    [this] { return InFlight == 0 || Failed; });
            Inbox.clear();
            if (!drained) Failed = true; // a transfer that cannot be called back: link broken
            if (Failed) {
                Purging = false;
                return false;
            }
        }
        int r = 0;
        if (mask & 1) r = ftdi_tciflush(Ctx);
        if (r == 0 && (mask & 2)) r = ftdi_tcoflush(Ctx);
        std::lock_guard lock(M);
        if (mask & 1) {
            Purging = false;
            Touch();
        }
        return r == 0 && !Failed;
    }

    bool SetUSBParameters(uint32_t inSize, uint32_t) override {
        std::lock_guard lock(M);
        if (inSize != 0) TransferSize = RoundTransfer(inSize);
        return !Failed;
    }

private:
    // A whole number of packets, so that every packet's status bytes sit where they are looked
    // for.
    size_t RoundTransfer(size_t size) const {
        size = std::min(size, MAX_TRANSFER);
        return std::max(MaxPacket, size / MaxPacket * MaxPacket);
    }

    // The caller is there: keep (or start) reading. Lock held.
    void Touch() {
        LastActivity = Clock::now();
        KeepReading();
    }

    bool ShouldRead() const {
        return !Quit && !Failed && !Purging && Clock::now() - LastActivity < READ_IDLE;
    }

    void KeepReading() {
        if (!ShouldRead()) return;
        for (auto& t : In)
            if (!t.busy && !Failed) Submit(t);
    }

    void Submit(TInTransfer& t) {
        if (t.buf.size() != TransferSize) t.buf.resize(TransferSize);
        libusb_fill_bulk_transfer(t.xfer, Handle, InEp, t.buf.data(),
                                  static_cast<int>(t.buf.size()), &TFtdiBackend::OnDone, &t,
                                  IN_TIMEOUT_MS);
        t.generation = Generation;
        const int r = libusb_submit_transfer(t.xfer);
        if (r == 0) {
            t.busy = true;
            if (InFlight++ == 0) Wake.notify_one();
        } else if (r == LIBUSB_ERROR_NO_DEVICE || ++IoErrors >= MAX_IO_ERRORS) {
            Failed = true;
        }
    }

    void CancelAll() {
        for (auto& t : In)
            if (t.busy) libusb_cancel_transfer(t.xfer);
    }

    // Runs on whichever thread handles libusb's events: the reaper, or the caller's thread
    // inside a synchronous write or control request (never with M held there).
    static void LIBUSB_CALL OnDone(libusb_transfer* xfer) {
        auto& t = *static_cast<TInTransfer*>(xfer->user_data);
        t.owner->Completed(t);
    }

    void Completed(TInTransfer& t) {
        std::lock_guard lock(M);
        t.busy = false;
        --InFlight;
        const libusb_transfer& x = *t.xfer;
        const size_t got = static_cast<size_t>(std::max(x.actual_length, 0));
        bool keep = true;
        switch (x.status) {
        case LIBUSB_TRANSFER_COMPLETED:
        case LIBUSB_TRANSFER_TIMED_OUT: // nothing came in time: no error, and nothing lost
            IoErrors = 0;
            break;
        case LIBUSB_TRANSFER_CANCELLED: // purge or close: its bytes go with the purge
            keep = false;
            break;
        case LIBUSB_TRANSFER_NO_DEVICE:
            Failed = true;
            break;
        default: // a stall or a broken packet now and then is no reason to give up
            if (++IoErrors >= MAX_IO_ERRORS) Failed = true;
            break;
        }
        if (keep && got > 0 && t.generation == Generation) {
            const size_t before = Inbox.size();
            AppendFtdiPayload(t.buf.data(), got, MaxPacket, Inbox, TRxQueue::CAPACITY);
            if (Inbox.size() > before) LastActivity = Clock::now(); // a stream keeps it going
        }
        if (ShouldRead()) Submit(t);
        if (InFlight == 0) DrainWait.notify_all();
    }

    void ReapLoop() {
        pthread_setname_np(pthread_self(), "kalvex-usb"); // for top and the CPU figures
        std::unique_lock lock(M);
        for (;;) {
            Wake.wait(lock, [this] { return InFlight > 0 || Quit; });
            if (Quit && (InFlight == 0 || GiveUp)) return;
            lock.unlock();
            timeval tv{0, EVENT_WAIT_US};
            const int r = libusb_handle_events_timeout_completed(Ctx->usb_ctx, &tv, nullptr);
            if (r < 0 && r != LIBUSB_ERROR_INTERRUPTED && r != LIBUSB_ERROR_TIMEOUT)
                std::this_thread::sleep_for(std::chrono::milliseconds(1)); // never spin
            lock.lock();
        }
    }

    ftdi_context* Ctx;
    libusb_device_handle* Handle;
    const unsigned char InEp;
    const unsigned char OutEp;
    const bool GiveBackDriver;
    size_t MaxPacket = 64;
    std::vector<unsigned char> OutBuf; // caller's thread only

    std::mutex M; // guards everything below; never held across a libusb call that waits
    std::condition_variable Wake;      // the reaper: something is in flight, or quit
    std::condition_variable DrainWait; // nothing is in flight any more
    std::array<TInTransfer, TRANSFERS> In;
    size_t InFlight = 0;
    size_t TransferSize = DEFAULT_TRANSFER;
    uint64_t Generation = 0;
    int IoErrors = 0;
    bool Failed = false;
    bool Purging = false;
    bool Quit = false;
    bool GiveUp = false;
    Clock::time_point LastActivity = Clock::now();
    std::string Inbox;
    std::thread Reaper;
};

// Hands a chip back to the serial-port driver we took it from.
void GiveBack(libusb_device* dev) {
    libusb_device_handle* h = nullptr;
    if (libusb_open(dev, &h) != 0) return;
    libusb_attach_kernel_driver(h, INTERFACE);
    libusb_close(h);
}

// Takes the chip from the serial-port driver when that holds it, then opens it with libftdi.
// A chip that another program has claimed fails at libftdi's claim, before any request is sent
// to it. *detached tells whether the driver has to be given back.
bool OpenChip(ftdi_context* ctx, libusb_device* dev, bool driverBound, bool* detached) {
    *detached = false;
    if (driverBound) {
        libusb_device_handle* h = nullptr;
        if (libusb_open(dev, &h) != 0) return false;
        // libusb refuses to detach another program's claim ("usbfs"): that chip stays as it is.
        const int r = libusb_detach_kernel_driver(h, INTERFACE);
        libusb_close(h);
        if (r != 0 && r != LIBUSB_ERROR_NOT_FOUND) return false;
        *detached = r == 0;
    }
    if (ftdi_usb_open_dev(ctx, dev) == 0 && ftdi_set_latency_timer(ctx, LATENCY_MS) == 0)
        return true;
    if (ctx->usb_dev) ftdi_usb_close(ctx);
    if (*detached) GiveBack(dev);
    *detached = false;
    return false;
}

// The serial number the kernel read when the chip was plugged in. Asking the chip itself would
// put a request on a device that may be someone else's; only without a sysfs record (*known
// false) does the caller do that.
std::string SysfsSerial(libusb_device* dev, bool* known) {
    *known = false;
    const int bus = libusb_get_bus_number(dev);
    const int addr = libusb_get_device_address(dev);
    auto readInt = [](const std::filesystem::path& file) {
        std::ifstream in(file);
        int v = -1;
        return (in >> v) ? v : -1;
    };
    std::error_code ec;
    for (std::filesystem::directory_iterator it("/sys/bus/usb/devices", ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::filesystem::path dir = it->path();
        if (dir.filename().string().find(':') != std::string::npos) continue; // an interface
        if (readInt(dir / "busnum") != bus || readInt(dir / "devnum") != addr) continue;
        *known = true;
        std::ifstream in(dir / "serial");
        std::string serial;
        std::getline(in, serial);
        return serial;
    }
    return {};
}

// Looks at a chip without sending it any request (but for a serial number that sysfs does not
// know). False for a chip we cannot use: no access, or another program has claimed it.
bool Classify(libusb_device* dev, const libusb_device_descriptor& desc, const std::string& pinned,
              TUsbChip* chip) {
    libusb_device_handle* h = nullptr;
    if (libusb_open(dev, &h) != 0) return false;
    chip->driverBound = libusb_kernel_driver_active(h, INTERFACE) == 1;
    bool usable = true;
    if (!chip->driverBound) {
        // Free, or claimed through usbfs by another program: only a claim tells them apart.
        usable = libusb_claim_interface(h, INTERFACE) == 0;
        if (usable) libusb_release_interface(h, INTERFACE);
    }
    if (usable && !pinned.empty()) {
        bool known = false;
        chip->serial = SysfsSerial(dev, &known);
        if (!known && desc.iSerialNumber != 0) {
            unsigned char text[256] = {};
            const int len = libusb_get_string_descriptor_ascii(h, desc.iSerialNumber, text,
                                                               static_cast<int>(sizeof text));
            if (len > 0)
                chip->serial.assign(reinterpret_cast<const char*>(text), static_cast<size_t>(len));
        }
    }
    libusb_close(h);
    return usable;
}

} // namespace

void AppendFtdiPayload(const uint8_t* data, size_t n, size_t maxPacket, std::string& out,
                       size_t limit) {
    if (maxPacket <= 2) return;
    for (size_t at = 0; at < n; at += maxPacket) {
        const size_t packet = std::min(maxPacket, n - at);
        if (packet <= 2) continue;
        const size_t room = limit > out.size() ? limit - out.size() : 0;
        out.append(reinterpret_cast<const char*>(data + at + 2), std::min(packet - 2, room));
    }
}

std::vector<size_t> UsbOpenOrder(const std::vector<TUsbChip>& chips, const std::string& pinned) {
    std::vector<size_t> order;
    for (int bound = 0; bound < 2; ++bound)
        for (size_t i = 0; i < chips.size(); ++i)
            if (chips[i].driverBound == (bound == 1) &&
                (pinned.empty() || chips[i].serial == pinned))
                order.push_back(i);
    return order;
}

std::string PinnedUnitSerial() {
    const char* s = std::getenv("KALVEX_UNIT_SERIAL");
    return s ? std::string(s) : std::string();
}

std::unique_ptr<TBackend> OpenFtdiBackend(int index, int* count) {
    *count = 0;
    ftdi_context* ctx = ftdi_new(); // no USB stack at all: simply no device
    if (!ctx) return nullptr;
    // We detach the serial-port driver ourselves, only from the chip we use, and give it back.
    ctx->module_detach_mode = DONT_DETACH_SIO_MODULE;
    ctx->usb_write_timeout = CONTROL_TIMEOUT_MS; // control requests run on the caller's thread
    const std::string pinned = PinnedUnitSerial();
    libusb_device** list = nullptr;
    const ssize_t n = libusb_get_device_list(ctx->usb_ctx, &list);
    std::vector<libusb_device*> devs;
    std::vector<TUsbChip> chips;
    for (ssize_t i = 0; i < n; ++i) {
        libusb_device_descriptor desc{};
        if (libusb_get_device_descriptor(list[i], &desc) != 0 || desc.idVendor != FTDI_VENDOR)
            continue;
        TUsbChip chip;
        if (!Classify(list[i], desc, pinned, &chip)) continue;
        devs.push_back(list[i]);
        chips.push_back(std::move(chip));
    }
    // Chips in front of the wanted one are only counted, never opened: trying the next index
    // disturbs neither a serial adapter nor its driver.
    std::unique_ptr<TBackend> backend;
    for (const size_t i : UsbOpenOrder(chips, pinned)) {
        if (index < 0 || *count < index) {
            ++*count;
            continue;
        }
        bool detached = false;
        if (!OpenChip(ctx, devs[i], chips[i].driverBound, &detached))
            continue; // next takes its place
        try {
            backend = std::make_unique<TFtdiBackend>(ctx, detached);
        } catch (...) { // no thread or no memory: as if there were no chip
            ftdi_usb_close(ctx);
            if (detached) GiveBack(devs[i]);
        }
        break;
    }
    if (n >= 0) libusb_free_device_list(list, 1);
    if (!backend) ftdi_free(ctx);
    return backend;
}

} // namespace d2xx
