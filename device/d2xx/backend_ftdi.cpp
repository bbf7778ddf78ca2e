// FTDI chips on USB through libftdi1. libftdi has no queue-status call, so a reader thread
// keeps the device's receive queue here; everything else runs on the caller's thread.
#include "backend.h"

#include <ftdi.h>
#include <libusb.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace d2xx {

namespace {

constexpr int FTDI_VENDOR = 0x0403;
constexpr unsigned char LATENCY_MS = 2; // short packets come back at least this often

class TFtdiBackend : public TBackend {
public:
    explicit TFtdiBackend(ftdi_context* ctx) : Ctx(ctx) {
        Ctx->usb_read_timeout = 100;
        Ctx->usb_write_timeout = 1000;
        Reader = std::thread([this] { ReadLoop(); });
    }
    ~TFtdiBackend() override {
        Stop = true;
        Reader.join();
        ftdi_usb_close(Ctx);
        ftdi_free(Ctx);
    }

    bool Write(const uint8_t* data, size_t n) override {
        std::lock_guard usb(UsbMutex);
        return ftdi_write_data(Ctx, data, static_cast<int>(n)) == static_cast<int>(n);
    }
    bool Fill(TRxQueue& rx) override {
        std::lock_guard lock(InboxMutex);
        rx.Append(Inbox.data(), Inbox.size());
        Inbox.clear();
        return !Failed;
    }
    bool Purge(uint32_t mask) override {
        std::lock_guard usb(UsbMutex);
        int r = (mask & 3) == 3   ? ftdi_tcioflush(Ctx)
                : (mask & 1) != 0 ? ftdi_tciflush(Ctx)
                : (mask & 2) != 0 ? ftdi_tcoflush(Ctx)
                                  : 0;
        if (mask & 1) {
            std::lock_guard lock(InboxMutex);
            Inbox.clear();
        }
        return r == 0 && !Failed;
    }
    bool SetUSBParameters(uint32_t inSize, uint32_t) override {
        std::lock_guard usb(UsbMutex);
        return inSize == 0 || ftdi_read_data_set_chunksize(Ctx, inSize) == 0;
    }

private:
    void ReadLoop() {
        std::vector<unsigned char> buf(4096);
        while (!Stop) {
            int r;
            {
                std::lock_guard usb(UsbMutex);
                r = ftdi_read_data(Ctx, buf.data(), static_cast<int>(buf.size()));
            }
            if (r < 0) {
                Failed = true; // unplugged: every later call fails
                return;
            }
            if (r > 0) {
                std::lock_guard lock(InboxMutex);
                if (Inbox.size() < TRxQueue::CAPACITY)
                    Inbox.append(reinterpret_cast<const char*>(buf.data()), static_cast<size_t>(r));
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
    }

    ftdi_context* Ctx;
    std::mutex UsbMutex;
    std::mutex InboxMutex;
    std::string Inbox;
    std::atomic<bool> Stop{false};
    std::atomic<bool> Failed{false};
    std::thread Reader;
};

} // namespace

std::unique_ptr<TBackend> OpenFtdiBackend(int index, int* count) {
    *count = 0;
    ftdi_context* ctx = ftdi_new(); // no USB stack at all: simply no device
    if (!ctx) return nullptr;
    // A chip that a serial-port driver holds belongs to someone else: it is not on the list.
    ctx->module_detach_mode = DONT_DETACH_SIO_MODULE;
    libusb_device** list = nullptr;
    ssize_t n = libusb_get_device_list(ctx->usb_ctx, &list);
    std::unique_ptr<TBackend> backend;
    for (ssize_t i = 0; i < n && !backend; ++i) {
        libusb_device_descriptor desc{};
        if (libusb_get_device_descriptor(list[i], &desc) != 0 || desc.idVendor != FTDI_VENDOR)
            continue;
        if (ftdi_usb_open_dev(ctx, list[i]) != 0) continue;
        if (*count == index) {
            ftdi_set_latency_timer(ctx, LATENCY_MS);
            backend = std::make_unique<TFtdiBackend>(ctx);
        } else {
            ftdi_usb_close(ctx);
        }
        ++*count;
    }
    if (n >= 0) libusb_free_device_list(list, 1);
    if (!backend) ftdi_free(ctx);
    return backend;
}

} // namespace d2xx
