#include "ft_fifo.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

TLinkHooks Tft_FIFO::Hooks;

Tft_FIFO::~Tft_FIFO() {
    Close();
}

int64_t Tft_FIFO::NowUs() {
    if (Hooks.nowUs) return Hooks.nowUs();
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void Tft_FIFO::PumpAndCheckTimeOut() {
    if (Hooks.pump) Hooks.pump();
    if (fTimeOutRunning && NowUs() >= TimeOutDeadlineUs) OnTimeOut();
}

void Tft_FIFO::IdlePause() {
    if (Hooks.idleSleepUs > 0)
        std::this_thread::sleep_for(std::chrono::microseconds(Hooks.idleSleepUs));
}

bool Tft_FIFO::Open(uint32_t inTransferSize, int deviceIndex) {
    if (ftHandle) return true;
    FT_HANDLE h = nullptr;
    if (FT_Open(deviceIndex, &h) != FT_OK || !h) return false;
    ftHandle = h;
    if (FT_SetUSBParameters(ftHandle, inTransferSize, 0) != FT_OK) {
        FT_Close(ftHandle);
        ftHandle = nullptr;
        return false;
    }
    return Purge();
}

bool Tft_FIFO::Purge() {
    if (!ftHandle) return false;
    if (FT_Purge(ftHandle, FT_PURGE_RX | FT_PURGE_TX) != FT_OK) {
        FT_Close(ftHandle);
        ftHandle = nullptr;
        return false;
    }
    return true;
}

void Tft_FIFO::Close() {
    if (!ftHandle) return;
    Purge();
    if (ftHandle) FT_Close(ftHandle);
    ftHandle = nullptr;
}

void Tft_FIFO::SetTimeOut(uint32_t ms) {
    fTimeOutRunning = false;
    fTimeOut = false;
    TimeOutMs = ms;
}

void Tft_FIFO::StartTimeOut() {
    fTimeOut = false;
    TimeOutDeadlineUs = NowUs() + static_cast<int64_t>(TimeOutMs) * 1000;
    fTimeOutRunning = true;
}

void Tft_FIFO::StopTimeOut() {
    fTimeOutRunning = false;
    fTimeOut = false;
}

void Tft_FIFO::OnTimeOut() {
    fTimeOutRunning = false;
    fTimeOut = true;
}

bool Tft_FIFO::SendCommand(std::string_view text) {
    if (!ftHandle || text.size() > MAX_COMMAND_LEN) return false;
    char frame[MAX_COMMAND_LEN + 1];
    std::memcpy(frame, text.data(), text.size());
    frame[text.size()] = '\r';
    DWORD written = 0;
    return FT_Write(ftHandle, frame, static_cast<DWORD>(text.size() + 1), &written) == FT_OK;
}

bool Tft_FIFO::ReadAvailable(uint8_t* dest, uint32_t room, uint32_t& count) {
    count = 0;
    if (!ftHandle) return false;
    if (FT_GetQueueStatus(ftHandle, &RxBytes) != FT_OK) return false;
    if (RxBytes == 0) return true;
    DWORD got = 0;
    const FT_STATUS st = FT_Read(ftHandle, dest, std::min(RxBytes, room), &got);
    count = std::min<uint32_t>(got, room);
    return st == FT_OK;
}

bool Tft_FIFO::SendCommandWaitOK(std::string_view text) {
    if (!SendCommand(text)) return false;
    uint8_t reply[4] = {};
    uint32_t total = 0;
    StartTimeOut();
    // Ends as soon as two bytes are in: an O K whose CR comes later is no acknowledgement.
    while (!fTimeOut && total < 2) {
        uint32_t got = 0;
        if (!ReadAvailable(reply + total, sizeof reply - total, got)) got = 0;
        PumpAndCheckTimeOut();
        total += got;
        if (got == 0) IdlePause();
    }
    StopTimeOut();
    return total >= 3 && reply[0] == 'O' && reply[1] == 'K' && reply[2] == '\r';
}

bool Tft_FIFO::SendCommandGetReply(std::string_view text, char* reply, size_t room) {
    if (!reply || room == 0) return false;
    if (!SendCommand(text)) return false;
    size_t pos = 0;
    bool done = false;
    bool lostBytes = false;
    StartTimeOut();
    while (!fTimeOut && !done) {
        PumpAndCheckTimeOut();
        uint32_t got = 0;
        if (!ReadAvailable(RxBuffer, RX_BUFFER_LEN, got)) {
            done = true;
            break;
        }
        if (got == 0) {
            IdlePause();
            continue;
        }
        // Whatever does not fit is dropped, and the reply then fails.
        const size_t fit = std::min<size_t>(got, room - pos);
        std::memcpy(reply + pos, RxBuffer, fit);
        lostBytes = lostBytes || fit < got;
        pos += fit;
        done = lostBytes || reply[pos - 1] == '\r' || pos > 15;
    }
    StopTimeOut();
    if (pos == 0 || lostBytes || reply[pos - 1] != '\r') return false;
    reply[pos - 1] = '\0';
    return true;
}

bool Tft_FIFO::ReadBytes(uint8_t* dest, uint32_t n, uint32_t& count) {
    count = 0;
    if (!ftHandle) return false;
    if (FT_GetQueueStatus(ftHandle, &RxBytes) != FT_OK) return false;
    if (RxBytes < n) return true; // not all there yet: leave them queued
    DWORD got = 0;
    if (FT_Read(ftHandle, dest, n, &got) != FT_OK || got != n) return false;
    count = n;
    return true;
}

bool Tft_FIFO::Settle(uint32_t minMs, uint32_t quietMs, uint32_t maxMs) {
    if (!ftHandle) return false;
    const int64_t start = NowUs();
    const int64_t latest = start + static_cast<int64_t>(maxMs) * 1000;
    int64_t until = start + static_cast<int64_t>(minMs) * 1000;
    while (true) {
        uint32_t got = 0;
        if (!ReadAvailable(RxBuffer, RX_BUFFER_LEN, got)) return false;
        if (Hooks.pump) Hooks.pump();
        const int64_t now = NowUs();
        if (got > 0) until = std::max(until, now + static_cast<int64_t>(quietMs) * 1000);
        if (now >= std::min(until, latest)) return true;
        if (got == 0) IdlePause();
    }
}
