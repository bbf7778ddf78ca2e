// TADC: the ZR4410QM unit's command protocol on top of the link. Commands are short texts ended
// by CR; most are acknowledged with O K CR, "U?" and "V?" answer a line, and a conversion
// streams 9-byte records (8 hex digits + CR).
#pragma once

#include "ft_fifo.h"
#include "tables.h"

#include <cstdint>
#include <string>

class TADC : public Tft_FIFO {
public:
    static constexpr int SAMPLE_RX_BUF_LEN = 600;
    static constexpr int RECORD_LEN = 9;
    static constexpr int MAX_RECORDS = SAMPLE_RX_BUF_LEN / RECORD_LEN; // 66
    static constexpr uint32_t COMMAND_TIME_OUT_MS = 100;
    static constexpr uint32_t CONVERT_TIME_OUT_MS = 1000;
    static constexpr int64_t MAX_SENT_COUNT = MAX_START_COUNT;
    // After the opening "AX": records the unit sent before it stopped are still on their way
    // (the chip holds them up to its latency timer, 16 ms by default, plus a USB frame or two).
    static constexpr uint32_t SETTLE_MS = 30;
    static constexpr uint32_t SETTLE_QUIET_MS = 10; // a late record extends the wait this long
    static constexpr uint32_t SETTLE_MAX_MS = 250;  // a unit that will not stop ends it

    // Opens the link and leaves the unit idle: a conversion that a vanished host left running
    // is stopped and whatever it still sends is dropped.
    // Opens the first device; CheckResponse moves on to the next ones when it does not answer.
    bool OpenDevice();
    void CloseDevice();
    bool CheckResponse();
    bool SetFilterSinc3();
    bool SetFilterSinc5();
    bool SetRate(int32_t spsSel);
    // At most 10 characters of the unit's answer.
    bool GetUnitName(std::string& name);
    bool GetVersion(std::string& version);
    bool StartConvert(int32_t ch, int64_t sampleCount);
    bool StopConvert();
    // Takes exactly n records (1..66) once they have all arrived; count = 0 until then.
    bool ReadSamples(uint32_t* dest, int& count, int n);
    std::string GetRateText(int32_t spsSel, uint8_t sinc3) const;
    float GetSamplePeriod(int32_t spsSel, uint8_t sinc3) const;
    std::string GetModelName() const { return UNIT_MODEL_NAME; }

    // The code of one record's 8 digits; a byte that is no hex digit counts as 0.
    static uint32_t DecodeRecord(const uint8_t* digits);

    uint8_t SampleRxBuf[SAMPLE_RX_BUF_LEN] = {};
    char CmdBuf[20] = {};
    char ReplyBuf[24] = {};

private:
    static constexpr int MAX_DEVICES = 16;
    bool OpenIndex(int index);
    int DeviceIndex = 0;
    bool PurgeAndWaitOK(const char* command);
    bool Query(const char* command, std::string& text);
};
