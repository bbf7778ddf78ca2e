#include "ftd2xx.h"

#include "paths.h"

#include "backend.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>

#include <unistd.h>

namespace d2xx {

void TRxQueue::Append(const char* data, size_t n) {
    if (Head > 0 && Head == Buf.size()) Clear();
    n = std::min(n, CAPACITY - std::min(CAPACITY, Size()));
    if (Head >= 65536 && Head * 2 >= Buf.size()) { // keep the buffer from creeping
        Buf.erase(0, Head);
        Head = 0;
    }
    Buf.append(data, n);
}

size_t TRxQueue::Take(uint8_t* dst, size_t n) {
    n = std::min(n, Size());
    std::memcpy(dst, Buf.data() + Head, n);
    Head += n;
    if (Head == Buf.size()) Clear();
    return n;
}

namespace {

struct TDevice {
    std::unique_ptr<TBackend> backend;
    TRxQueue rx;
    bool lost = false;
};

std::mutex gMutex;
std::set<TDevice*> gOpen;
std::shared_ptr<TVirtualDevice> gVirtual;

TDevice* Lookup(FT_HANDLE h) {
    auto* dev = static_cast<TDevice*>(h);
    return gOpen.count(dev) ? dev : nullptr;
}

// Pulls what arrived into the queue; a link that went away stays failed.
bool Refresh(TDevice& dev) {
    if (!dev.lost && !dev.backend->Fill(dev.rx)) dev.lost = true;
    return !dev.lost;
}

} // namespace

void AttachVirtualDevice(std::shared_ptr<TVirtualDevice> device) {
    std::lock_guard lock(gMutex);
    gVirtual = std::move(device);
}

void DetachVirtualDevice() {
    std::lock_guard lock(gMutex);
    gVirtual.reset();
}

std::string UnitSocketPath() {
    return DefaultUnitSocketPath();
}

int OpenHandleCount() {
    std::lock_guard lock(gMutex);
    return static_cast<int>(gOpen.size());
}

} // namespace d2xx

using namespace d2xx;

FT_STATUS FT_Open(int deviceNumber, FT_HANDLE* pHandle) {
    if (!pHandle) return FT_INVALID_PARAMETER;
    *pHandle = nullptr;
    if (deviceNumber < 0) return FT_DEVICE_NOT_FOUND;
    std::lock_guard lock(gMutex);
    std::unique_ptr<TBackend> backend;
    if (gVirtual) {
        if (deviceNumber == 0) backend = OpenVirtualBackend(gVirtual);
    } else {
        int usbCount = 0;
        backend = OpenFtdiBackend(deviceNumber, &usbCount);
        if (!backend && deviceNumber == usbCount) backend = OpenSocketBackend(UnitSocketPath());
    }
    if (!backend) return FT_DEVICE_NOT_FOUND;
    auto* dev = new TDevice{std::move(backend), {}, false};
    gOpen.insert(dev);
    *pHandle = dev;
    return FT_OK;
}

FT_STATUS FT_Close(FT_HANDLE ftHandle) {
    std::lock_guard lock(gMutex);
    TDevice* dev = Lookup(ftHandle);
    if (!dev) return FT_INVALID_HANDLE;
    gOpen.erase(dev);
    delete dev;
    return FT_OK;
}

FT_STATUS FT_Read(FT_HANDLE ftHandle, LPVOID lpBuffer, DWORD dwBytesToRead,
                  LPDWORD lpBytesReturned) {
    std::lock_guard lock(gMutex);
    TDevice* dev = Lookup(ftHandle);
    if (!dev) return FT_INVALID_HANDLE;
    if (!lpBytesReturned || (!lpBuffer && dwBytesToRead > 0)) return FT_INVALID_PARAMETER;
    *lpBytesReturned = 0;
    if (dev->rx.Size() < dwBytesToRead && !Refresh(*dev)) return FT_IO_ERROR;
    if (dev->lost) return FT_IO_ERROR;
    *lpBytesReturned =
        static_cast<DWORD>(dev->rx.Take(static_cast<uint8_t*>(lpBuffer), dwBytesToRead));
    return FT_OK;
}

FT_STATUS FT_Write(FT_HANDLE ftHandle, LPVOID lpBuffer, DWORD dwBytesToWrite,
                   LPDWORD lpBytesWritten) {
    std::lock_guard lock(gMutex);
    TDevice* dev = Lookup(ftHandle);
    if (!dev) return FT_INVALID_HANDLE;
    if (!lpBytesWritten || (!lpBuffer && dwBytesToWrite > 0)) return FT_INVALID_PARAMETER;
    *lpBytesWritten = 0;
    if (dev->lost) return FT_IO_ERROR;
    if (!dev->backend->Write(static_cast<const uint8_t*>(lpBuffer), dwBytesToWrite)) {
        dev->lost = true;
        return FT_IO_ERROR;
    }
    *lpBytesWritten = dwBytesToWrite;
    return FT_OK;
}

FT_STATUS FT_Purge(FT_HANDLE ftHandle, ULONG Mask) {
    std::lock_guard lock(gMutex);
    TDevice* dev = Lookup(ftHandle);
    if (!dev) return FT_INVALID_HANDLE;
    if (!Refresh(*dev)) return FT_IO_ERROR;
    if (!dev->backend->Purge(Mask)) {
        dev->lost = true;
        return FT_IO_ERROR;
    }
    if (Mask & FT_PURGE_RX) dev->rx.Clear();
    return FT_OK;
}

FT_STATUS FT_GetQueueStatus(FT_HANDLE ftHandle, DWORD* dwRxBytes) {
    std::lock_guard lock(gMutex);
    TDevice* dev = Lookup(ftHandle);
    if (!dev) return FT_INVALID_HANDLE;
    if (!dwRxBytes) return FT_INVALID_PARAMETER;
    *dwRxBytes = 0;
    if (!Refresh(*dev)) return FT_IO_ERROR;
    *dwRxBytes = static_cast<DWORD>(dev->rx.Size());
    return FT_OK;
}

FT_STATUS FT_SetUSBParameters(FT_HANDLE ftHandle, ULONG ulInTransferSize, ULONG ulOutTransferSize) {
    std::lock_guard lock(gMutex);
    TDevice* dev = Lookup(ftHandle);
    if (!dev) return FT_INVALID_HANDLE;
    if (dev->lost) return FT_IO_ERROR;
    return dev->backend->SetUSBParameters(ulInTransferSize, ulOutTransferSize) ? FT_OK
                                                                               : FT_IO_ERROR;
}
