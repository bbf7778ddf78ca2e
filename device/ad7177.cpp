#include "ad7177.h"

#include "tables.h"

#include <array>
#include <cstdio>
#include <cstring>

namespace {

constexpr std::array<uint8_t, 256> kDigit = [] {
    std::array<uint8_t, 256> t{};
    for (int c = '0'; c <= '9'; ++c)
        t[static_cast<size_t>(c)] = static_cast<uint8_t>(c - '0');
    for (int c = 'a'; c <= 'f'; ++c)
        t[static_cast<size_t>(c)] = static_cast<uint8_t>(c - 'a' + 10);
    for (int c = 'A'; c <= 'F'; ++c)
        t[static_cast<size_t>(c)] = static_cast<uint8_t>(c - 'A' + 10);
    return t;
}();

} // namespace

uint32_t TADC::DecodeRecord(const uint8_t* digits) {
    uint32_t code = 0;
    for (int i = 0; i < 8; ++i)
        code = (code << 4) | kDigit[digits[i]];
    return code;
}

bool TADC::OpenDevice() {
    DeviceIndex = 0;
    return OpenIndex(0);
}

bool TADC::OpenIndex(int index) {
    // A link left open by the last measurement may lead to a unit that has gone (cable
    // pulled, simulator restarted): every start opens afresh.
    if (IsOpen()) Close();
    if (!Open(4096, index) || !Purge()) return false;
    DeviceIndex = index;
    // A unit stops streaming only on "AX" or at its count: one that a killed program left
    // running would mix its records into every reply until then.
    if (!StopConvert() || !Settle(SETTLE_MS, SETTLE_QUIET_MS, SETTLE_MAX_MS)) {
        Close();
        return false;
    }
    return Purge();
}

void TADC::CloseDevice() {
    if (!IsOpen()) return;
    Purge();
    Close();
}

bool TADC::PurgeAndWaitOK(const char* command) {
    if (!Purge()) return false;
    SetTimeOut(COMMAND_TIME_OUT_MS);
    std::snprintf(CmdBuf, sizeof CmdBuf, "%s", command);
    return SendCommandWaitOK(CmdBuf);
}

bool TADC::CheckResponse() {
    if (PurgeAndWaitOK("?")) return true;
    // Another FTDI chip (a serial adapter) may stand in front of the unit on the list: the
    // next chips are asked in turn, so the common case of one chip sends nothing more.
    for (int i = DeviceIndex + 1; i < MAX_DEVICES; ++i) {
        Close();
        if (!OpenIndex(i)) return false; // no further chip
        if (PurgeAndWaitOK("?")) return true;
    }
    return false;
}
bool TADC::SetFilterSinc3() {
    return PurgeAndWaitOK("S3");
}
bool TADC::SetFilterSinc5() {
    return PurgeAndWaitOK("S5");
}

bool TADC::SetRate(int32_t spsSel) {
    if (!IsOpen() || spsSel < 0 || spsSel > 13) return false;
    ReplyBuf[0] = '\0';
    SetTimeOut(COMMAND_TIME_OUT_MS);
    std::snprintf(CmdBuf, sizeof CmdBuf, "F%c", "0123456789ABCD"[spsSel]);
    return SendCommandWaitOK(CmdBuf);
}

bool TADC::Query(const char* command, std::string& text) {
    if (!Purge()) return false;
    SetTimeOut(COMMAND_TIME_OUT_MS);
    ReplyBuf[0] = '\0';
    std::snprintf(CmdBuf, sizeof CmdBuf, "%s", command);
    if (!SendCommandGetReply(CmdBuf, ReplyBuf, sizeof ReplyBuf)) return false;
    // The reply ends at its first NUL (the former CR at the latest).
    const size_t len = strnlen(ReplyBuf, sizeof ReplyBuf);
    if ((len > 0 && ReplyBuf[0] == 'N') || (len > 1 && ReplyBuf[1] == 'G')) return false;
    text.assign(ReplyBuf, len < 10 ? len : 10);
    return true;
}

bool TADC::GetUnitName(std::string& name) {
    return Query("U?", name);
}
bool TADC::GetVersion(std::string& version) {
    return Query("V?", version);
}

bool TADC::StartConvert(int32_t ch, int64_t sampleCount) {
    if (!IsOpen() || ch < 0 || ch > 2 || sampleCount < 0) return false;
    if (!Purge()) return false;
    const int64_t sent = sampleCount > MAX_SENT_COUNT ? 0 : sampleCount;
    std::snprintf(CmdBuf, sizeof CmdBuf, "A%d%05X", static_cast<int>(ch),
                  static_cast<unsigned>(sent));
    SetTimeOut(CONVERT_TIME_OUT_MS);
    return SendCommand(CmdBuf);
}

bool TADC::StopConvert() {
    if (!IsOpen()) return false;
    SetTimeOut(COMMAND_TIME_OUT_MS);
    std::snprintf(CmdBuf, sizeof CmdBuf, "AX");
    return SendCommand(CmdBuf);
}

bool TADC::ReadSamples(uint32_t* dest, int& count, int n) {
    count = 0;
    if (!IsOpen() || !dest || n < 1 || n > MAX_RECORDS) return false;
    const uint32_t want = static_cast<uint32_t>(n * RECORD_LEN);
    uint32_t got = 0;
    if (!ReadBytes(SampleRxBuf, want, got)) return false;
    if (got == 0) return true;
    if (got != want) return false;
    for (int i = 0; i < n; ++i) {
        const uint8_t* rec = SampleRxBuf + i * RECORD_LEN;
        if (rec[8] != '\r') return false;
        dest[count++] = DecodeRecord(rec);
    }
    return true;
}

std::string TADC::GetRateText(int32_t spsSel, uint8_t sinc3) const {
    return RateText(spsSel, sinc3);
}

float TADC::GetSamplePeriod(int32_t spsSel, uint8_t sinc3) const {
    return SamplePeriodMs(spsSel, sinc3);
}
