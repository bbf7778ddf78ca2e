// The unit driver against a unit that answers with arbitrary bytes: acknowledgements, reply
// lines and sample records, split into packets of any size, and links that drop. The input is
// a script of steps, each [op][arg][len][len bytes the unit sends]. op % 10 picks the call,
// op / 10 the packet size (0: all at once). Nothing may crash, hang or overrun; what the driver
// accepts must be what the bytes say.
#include "ad7177.h"
#include "d2xx/d2xx_virtual.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

int64_t gClockUs = 0;

class TScriptedUnit : public d2xx::TVirtualDevice {
public:
    void HostWrite(const uint8_t*, size_t) override {
        Pending += Armed;
        Armed.clear();
    }
    void Collect(std::string& out) override {
        const size_t n = Packet == 0 ? Pending.size() : std::min(Packet, Pending.size());
        out.append(Pending, 0, n);
        Pending.erase(0, n);
    }
    bool Connected() const override { return Up; }

    std::string Armed;   // sent once the host writes its next command
    std::string Pending; // sent, handed out Packet bytes per look
    size_t Packet = 0;
    bool Up = true;
};

uint32_t HexValue(uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10u;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10u;
    return 0;
}

// Polls ReadSamples a few times; every accepted block must be exactly n records of 8 digits
// and CR, decoded as the digits say.
void ReadBlocks(TADC& adc, int n) {
    uint32_t dest[TADC::MAX_RECORDS];
    for (int k = 0; k < 8; ++k) {
        int count = -1;
        if (!adc.ReadSamples(dest, count, n)) return;
        if (count == 0) continue;
        if (count != n) std::abort();
        for (int i = 0; i < n; ++i) {
            const uint8_t* rec = adc.SampleRxBuf + i * TADC::RECORD_LEN;
            if (rec[8] != '\r') std::abort();
            uint32_t code = 0;
            for (int d = 0; d < 8; ++d)
                code = code * 16u + HexValue(rec[d]);
            if (code != dest[i]) std::abort();
        }
    }
}

void CheckQuery(bool ok, const std::string& text) {
    if (ok && text.size() > 10) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    Tft_FIFO::Hooks.nowUs = [] { return gClockUs; };
    Tft_FIFO::Hooks.pump = [] { gClockUs += 1000; };
    Tft_FIFO::Hooks.idleSleepUs = 0;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto unit = std::make_shared<TScriptedUnit>();
    d2xx::AttachVirtualDevice(unit);
    auto adc = std::make_unique<TADC>();
    if (!adc->OpenDevice()) std::abort();

    size_t pos = 0;
    for (int step = 0; step < 64 && pos + 3 <= size; ++step) {
        const uint8_t op = data[pos];
        const uint8_t arg = data[pos + 1];
        const size_t len = std::min<size_t>(data[pos + 2], size - pos - 3);
        const std::string bytes(reinterpret_cast<const char*>(data + pos + 3), len);
        pos += 3 + len;
        unit->Packet = op / 10u;
        unit->Armed = bytes;
        std::string text;
        switch (op % 10) {
        case 0:
            adc->CheckResponse();
            break;
        case 1:
            adc->SetFilterSinc3();
            break;
        case 2:
            adc->SetFilterSinc5();
            break;
        case 3:
            adc->SetRate(arg % 14);
            break;
        case 4:
            CheckQuery(adc->GetUnitName(text), text);
            break;
        case 5:
            CheckQuery(adc->GetVersion(text), text);
            break;
        case 6: {
            // A reply buffer of exactly the room given, so ASan sees any byte past it.
            const size_t room = arg % 24u + 1u;
            auto reply = std::make_unique<char[]>(room);
            adc->SetTimeOut(TADC::COMMAND_TIME_OUT_MS);
            if (adc->SendCommandGetReply("U?", reply.get(), room) &&
                strnlen(reply.get(), room) == room)
                std::abort();
            break;
        }
        case 7:
            unit->Pending += unit->Armed;
            unit->Armed.clear();
            ReadBlocks(*adc, arg % TADC::MAX_RECORDS + 1);
            break;
        case 8:
            if (adc->StartConvert(arg % 3, static_cast<int64_t>(arg) * 4097))
                ReadBlocks(*adc, arg % TADC::MAX_RECORDS + 1);
            adc->StopConvert();
            break;
        default: {
            // The cable is pulled: every call fails until the link is opened again.
            unit->Up = false;
            int count = 0;
            uint32_t dest[1];
            if (adc->ReadSamples(dest, count, 1) || adc->CheckResponse()) std::abort();
            unit = std::make_shared<TScriptedUnit>();
            d2xx::AttachVirtualDevice(unit);
            if (!adc->OpenDevice()) std::abort();
            break;
        }
        }
    }
    adc->CloseDevice();
    if (adc->IsOpen()) std::abort();
    adc.reset();
    d2xx::DetachVirtualDevice();
    if (d2xx::OpenHandleCount() != 0) std::abort();
    return 0;
}
