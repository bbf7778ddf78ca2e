// Tft_FIFO: the byte link to the A/D unit. Frames command lines, waits for short replies with a
// time-out, and hands out bulk sample bytes in exact amounts. Single-threaded: waits poll the
// receive queue and keep the program responsive through Tft_FIFO::Hooks.pump.
#pragma once

#include "d2xx/ftd2xx.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

// How the link's waits reach the rest of the program.
struct TLinkHooks {
    // Called on every turn of a reply wait; the program processes its pending events here.
    std::function<void()> pump;
    // Monotonic clock in microseconds for the reply time-out; steady_clock when empty.
    std::function<int64_t()> nowUs;
    // Pause after a turn that brought no byte, so that a wait does not keep a core busy.
    int64_t idleSleepUs = 200;
};

class Tft_FIFO {
public:
    static TLinkHooks Hooks;
    static constexpr uint32_t RX_BUFFER_LEN = 10001;
    static constexpr size_t MAX_COMMAND_LEN = 19;
    static constexpr uint32_t DEFAULT_TIME_OUT_MS = 500;

    Tft_FIFO() = default;
    virtual ~Tft_FIFO();
    Tft_FIFO(const Tft_FIFO&) = delete;
    Tft_FIFO& operator=(const Tft_FIFO&) = delete;

    // deviceIndex: which device of the D2XX list (0 = the first).
    bool Open(uint32_t inTransferSize = 4096, int deviceIndex = 0);
    bool Purge();
    void Close();
    void SetTimeOut(uint32_t ms);
    void StartTimeOut();
    void StopTimeOut();
    void OnTimeOut();
    bool SendCommand(std::string_view text);
    bool ReadAvailable(uint8_t* dest, uint32_t room, uint32_t& count);
    bool SendCommandWaitOK(std::string_view text);
    // reply must have room for at least 20 bytes; on success it holds the line, CR made NUL.
    bool SendCommandGetReply(std::string_view text, char* reply, size_t room);
    bool ReadBytes(uint8_t* dest, uint32_t n, uint32_t& count);
    // Drops whatever arrives until nothing has come for quietMs, waiting at least minMs and at
    // most maxMs; pumps as every wait does. False when the link failed.
    bool Settle(uint32_t minMs, uint32_t quietMs, uint32_t maxMs);

    bool IsOpen() const { return ftHandle != nullptr; }

    FT_HANDLE ftHandle = nullptr; // nullptr while the link is closed
    uint32_t RxBytes = 0;         // what the last queue query reported waiting
    // The reply time-out: a deadline checked while a wait polls.
    bool fTimeOutRunning = false;
    int64_t TimeOutDeadlineUs = 0;
    bool fTimeOut = false;
    uint8_t RxBuffer[RX_BUFFER_LEN] = {};
    uint32_t TimeOutMs = DEFAULT_TIME_OUT_MS;

private:
    static int64_t NowUs();
    void PumpAndCheckTimeOut();
    static void IdlePause();
};
