// The link and the driver against the simulated unit, through the whole stack:
// TADC -> Tft_FIFO -> D2XX stand-in -> protocol engine.
#include "virtual_unit.h"

#include <cstring>

namespace {

TUnitFaults Silent() {
    TUnitFaults f;
    f.silent = true;
    return f;
}

} // namespace

TEST_F(DeviceLinkTest, FramesOnTheWire) {
    AttachOpen();
    std::string text;
    const std::pair<std::function<bool()>, const char*> cases[] = {
        {[&] { return Adc->CheckResponse(); }, "?\r"},
        {[&] { return Adc->SetFilterSinc3(); }, "S3\r"},
        {[&] { return Adc->SetFilterSinc5(); }, "S5\r"},
        {[&] { return Adc->GetUnitName(text); }, "U?\r"},
        {[&] { return Adc->GetVersion(text); }, "V?\r"},
        {[&] { return Adc->StartConvert(0, 65536); }, "A010000\r"},
        {[&] { return Adc->StopConvert(); }, "AX\r"},
        {[&] { return Adc->StartConvert(1, 262144); }, "A140000\r"},
        {[&] { return Adc->StartConvert(1, 1024); }, "A100400\r"},
        {[&] { return Adc->StartConvert(0, 1048576); }, "A000000\r"},
        {[&] { return Adc->StartConvert(2, 0xFFFFF); }, "A2FFFFF\r"},
        {[&] { return Adc->SendCommand(std::string(19, 'x')); }, "xxxxxxxxxxxxxxxxxxx\r"},
    };
    for (const auto& [call, wire] : cases) {
        Unit->Wire.clear();
        EXPECT_TRUE(call()) << wire;
        EXPECT_EQ(Unit->Wire, wire);
    }
    // Only "AX" ends the conversion still running; the unit's "NG" to the x-command comes,
    // and goes.
    ASSERT_TRUE(Adc->StopConvert());
    Advance(1);
    ASSERT_TRUE(Adc->Purge());
    for (int i = 0; i <= 13; ++i) {
        Unit->Wire.clear();
        EXPECT_TRUE(Adc->SetRate(i));
        EXPECT_EQ(Unit->Wire, std::string("F") + "0123456789ABCD"[i] + "\r");
    }
    // Refused without a byte on the wire.
    Unit->Wire.clear();
    EXPECT_FALSE(Adc->SetRate(14));
    EXPECT_FALSE(Adc->SetRate(-1));
    EXPECT_FALSE(Adc->StartConvert(3, 1024));
    EXPECT_FALSE(Adc->StartConvert(0, -5));
    EXPECT_FALSE(Adc->SendCommand(std::string(20, 'x')));
    EXPECT_EQ(Unit->Wire, "");
}

// A unit left streaming by a host that went away without "AX".
TEST_F(DeviceLinkTest, OpeningStopsAUnitLeftStreaming) {
    for (const char* rate : {"F0\r", "FD\r"}) {
        SCOPED_TRACE(rate);
        Adc = std::make_unique<TADC>();
        Attach();
        const std::string start = std::string(rate) + "A000000\r";
        Unit->Engine.Receive(start.data(), start.size(), ClockUs * 1000);
        Advance(1000);
        // Records that have been sent but not yet seen arrive after the link is open.
        ASSERT_TRUE(Adc->OpenDevice());
        EXPECT_EQ(Unit->Wire, "AX\r") << "the opening sends nothing else";
        EXPECT_FALSE(Unit->Engine.Converting());
        EXPECT_GE(ClockUs, 1'030'000) << "it waits for what is on its way";
        EXPECT_TRUE(Adc->CheckResponse());
        std::string name;
        EXPECT_TRUE(Adc->SetRate(13) && Adc->GetUnitName(name));
        EXPECT_EQ(Unit->Wire, "AX\r?\rFD\rU?\r");
    }
}

// A late record stretches the settling; a unit that never goes quiet cannot hold it forever,
// and one that is gone fails the opening.
TEST_F(DeviceLinkTest, SettlingAfterTheOpeningStop) {
    class TChatty : public d2xx::TVirtualDevice {
    public:
        explicit TChatty(const int64_t* now) : Now(now) {}
        void HostWrite(const uint8_t*, size_t) override {}
        void Collect(std::string& out) override {
            if (*Now >= NextUs && *Now <= UntilUs) {
                out += "80000000\r";
                NextUs = *Now + EveryUs;
            }
        }
        bool Connected() const override { return Up; }
        const int64_t* Now;
        int64_t NextUs = 0, EveryUs = 0, UntilUs = 0;
        bool Up = true;
    };
    auto unit = std::make_shared<TChatty>(&ClockUs);
    d2xx::AttachVirtualDevice(unit);
    // A record every 8 ms for 60 ms: the wait ends 10 quiet ms after the last one.
    unit->EveryUs = 8000;
    unit->UntilUs = 60'000;
    ASSERT_TRUE(Adc->OpenDevice());
    EXPECT_GE(ClockUs, 66'000);
    EXPECT_LE(ClockUs, 72'000);
    // Never quiet: the opening gives up waiting after 250 ms, and "?" tells the rest.
    ClockUs = 0;
    unit->NextUs = 0;
    unit->EveryUs = 1000;
    unit->UntilUs = TUnitEngine::NEVER;
    ASSERT_TRUE(Adc->OpenDevice());
    EXPECT_GE(ClockUs, 250'000);
    EXPECT_LE(ClockUs, 252'000);
    EXPECT_FALSE(Adc->CheckResponse());
    // Gone while it settles.
    Tft_FIFO::Hooks.pump = [&] {
        ClockUs += PumpStepUs;
        if (ClockUs > 5000) unit->Up = false;
    };
    EXPECT_FALSE(Adc->OpenDevice());
    EXPECT_FALSE(Adc->IsOpen());
    EXPECT_EQ(d2xx::OpenHandleCount(), 0);
}

TEST_F(DeviceLinkTest, ClosedLinkFailsWithoutTouchingTheLibrary) {
    Attach();
    uint8_t buf[32];
    uint32_t count = 7;
    int n = 7;
    std::string text = "keep";
    EXPECT_FALSE(Adc->Purge());
    EXPECT_FALSE(Adc->SendCommandWaitOK("?"));
    EXPECT_FALSE(Adc->SendCommandGetReply("U?", reinterpret_cast<char*>(buf), sizeof buf));
    EXPECT_FALSE(Adc->ReadAvailable(buf, sizeof buf, count));
    EXPECT_FALSE(Adc->ReadBytes(buf, 9, count));
    EXPECT_EQ(count, 0u);
    EXPECT_FALSE(Adc->CheckResponse());
    EXPECT_FALSE(Adc->SetRate(3));
    EXPECT_FALSE(Adc->GetUnitName(text));
    EXPECT_EQ(text, "keep");
    EXPECT_FALSE(Adc->StartConvert(0, 1024));
    EXPECT_FALSE(Adc->StopConvert());
    EXPECT_FALSE(Adc->ReadSamples(reinterpret_cast<uint32_t*>(buf), n, 1));
    EXPECT_EQ(n, 0);
    Adc->CloseDevice();
    EXPECT_EQ(Unit->Wire, "");
    EXPECT_EQ(d2xx::OpenHandleCount(), 0);
    EXPECT_EQ(ClockUs, 0) << "a closed link must not wait";
}

TEST_F(DeviceLinkTest, OpenCloseAndPurge) {
    AttachOpen();
    EXPECT_EQ(d2xx::OpenHandleCount(), 1);
    // Opening an open link neither purges nor opens a second handle.
    Unit->Injected = "abc";
    ASSERT_TRUE(Adc->Open());
    uint8_t buf[8];
    uint32_t count = 0;
    ASSERT_TRUE(Adc->ReadAvailable(buf, sizeof buf, count));
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(d2xx::OpenHandleCount(), 1);
    Unit->Injected = "stale";
    ASSERT_TRUE(Adc->Purge());
    ASSERT_TRUE(Adc->ReadAvailable(buf, sizeof buf, count));
    EXPECT_EQ(count, 0u);
    Adc->CloseDevice();
    EXPECT_FALSE(Adc->IsOpen());
    EXPECT_EQ(d2xx::OpenHandleCount(), 0);
    // The destructor closes an open link.
    ASSERT_TRUE(Adc->OpenDevice());
    Adc.reset();
    EXPECT_EQ(d2xx::OpenHandleCount(), 0);
}

TEST_F(DeviceLinkTest, Acknowledgement) {
    AttachOpen();
    EXPECT_TRUE(Adc->CheckResponse());
    // Raw answers from a unit that says nothing of its own; surplus after O K CR is harmless.
    AttachOpen(Silent());
    const std::pair<std::string, bool> raw[] = {{"OK\r", true},
                                                {"OK\rjunk", true},
                                                {"NG\r", false},
                                                {"OK\n", false},
                                                {"ok\r", false},
                                                {"\rOK\r", false},
                                                {std::string(5000, 'O'), false}};
    for (const auto& [wire, ok] : raw) {
        ASSERT_TRUE(Adc->Purge());
        Unit->Injected = wire;
        EXPECT_EQ(Adc->SendCommandWaitOK("X"), ok) << wire;
    }
    // No answer: false once the time-out is over, not before and not much later.
    for (uint32_t ms : {100u, 500u}) {
        ASSERT_TRUE(Adc->Purge());
        Adc->SetTimeOut(ms);
        const int64_t took = Took([&] { EXPECT_FALSE(Adc->SendCommandWaitOK("?")); });
        EXPECT_GE(took, ms * 1000);
        EXPECT_LE(took, ms * 1000 + 2000);
    }
    // A reply slower than the 100 ms of a command.
    TUnitFaults slow;
    slow.replyDelayMs = 150;
    AttachOpen(slow);
    EXPECT_LE(Took([&] { EXPECT_FALSE(Adc->CheckResponse()); }), 102'000);
    // Two packets: "O" then "K CR" is fine; "O K" then CR is not (the wait ends at two bytes).
    for (int split : {1, 2}) {
        TUnitFaults f;
        f.splitAt = split;
        AttachOpen(f);
        EXPECT_EQ(Adc->CheckResponse(), split == 1) << split;
    }
}

TEST_F(DeviceLinkTest, ReplyLines) {
    TUnitConfig c;
    c.version = "2.31";
    AttachOpen(c);
    std::string text;
    ASSERT_TRUE(Adc->GetUnitName(text));
    EXPECT_EQ(text, Adc->GetModelName());
    ASSERT_TRUE(Adc->GetVersion(text));
    EXPECT_EQ(text, "2.31");

    AttachOpen(Silent());
    char reply[24];
    const struct {
        std::string wire;
        const char* text; // nullptr: the reply fails
    } raw[] = {
        {"\r", ""},
        {"ABCDEFGHIJKLMNO\r", "ABCDEFGHIJKLMNO"},           // 15 characters and CR
        {"ABCDEFGHIJKLMNOP", nullptr},                      // 16 without CR: given up
        {"ABCDEFGHIJKLMNOPQRST\r", "ABCDEFGHIJKLMNOPQRST"}, // one packet that fits
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZ\r", nullptr},          // more than the buffer holds
        {std::string(10000, 'Z'), nullptr},                 // a flood
        {"OK\rjunk", nullptr},                              // the last byte is no CR
    };
    for (const auto& r : raw) {
        ASSERT_TRUE(Adc->Purge());
        Unit->Injected = r.wire;
        EXPECT_EQ(Adc->SendCommandGetReply("X", reply, sizeof reply), r.text != nullptr) << r.wire;
        if (r.text) {
            EXPECT_STREQ(reply, r.text);
        }
    }
    EXPECT_LE(Took([&] { EXPECT_FALSE(Adc->GetVersion(text)); }), 102'000);
    // A line in small pieces is collected until its CR.
    Unit->Injected = "ZR44";
    Tft_FIFO::Hooks.pump = [this] {
        ClockUs += 1000;
        if (ClockUs == 3000) Unit->Injected = "10Q";
        if (ClockUs == 6000) Unit->Injected = "M\r";
    };
    ClockUs = 0;
    ASSERT_TRUE(Adc->SendCommandGetReply("X", reply, sizeof reply));
    EXPECT_STREQ(reply, "ZR4410QM");
}

TEST_F(DeviceLinkTest, NameRefusalsAndLength) {
    const std::pair<const char*, const char*> cases[] = {{"NG", nullptr},
                                                         {"No", nullptr},
                                                         {"xG1", nullptr},
                                                         {"G", "G"},
                                                         {"ABCDEFGHIJKLM", "ABCDEFGHIJ"},
                                                         {"ZR4410QN", "ZR4410QN"}};
    for (const auto& [name, text] : cases) {
        TUnitConfig config;
        config.modelName = name;
        AttachOpen(config);
        std::string got;
        EXPECT_EQ(Adc->GetUnitName(got), text != nullptr) << name;
        if (text) {
            EXPECT_EQ(got, text);
        }
    }
}

TEST_F(DeviceLinkTest, ExactAmountReads) {
    AttachOpen(Silent());
    uint8_t buf[64];
    uint32_t count = 99;
    Unit->Injected = "12345";
    ASSERT_TRUE(Adc->ReadBytes(buf, 9, count));
    EXPECT_EQ(count, 0u) << "fewer than asked: nothing taken";
    Unit->Injected = "6789abcdef";
    ASSERT_TRUE(Adc->ReadBytes(buf, 9, count));
    ASSERT_EQ(count, 9u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 9), "123456789");
    ASSERT_TRUE(Adc->ReadAvailable(buf, 4, count));
    EXPECT_EQ(count, 4u) << "at most the room";
}

TEST_F(DeviceLinkTest, RecordDecoding) {
    AttachOpen(Silent());
    uint32_t codes[70] = {};
    int n = -1;
    Unit->Injected = "8000000A\r0000000z\rffffFFFF\r00000000\r";
    ASSERT_TRUE(Adc->ReadSamples(codes, n, 4));
    ASSERT_EQ(n, 4);
    EXPECT_EQ(codes[0], 2147483658u);
    EXPECT_EQ(codes[1], 0u);
    EXPECT_EQ(codes[2], 0xFFFFFFFFu);
    // The third record's ninth byte is no CR: two codes stored, then failure.
    Unit->Injected = "00000001\r00000002\r00000003\n00000004\r";
    EXPECT_FALSE(Adc->ReadSamples(codes, n, 4));
    EXPECT_EQ(n, 2);
    EXPECT_EQ(codes[1], 2u);
    // Block sizes the receive area cannot hold are refused; 66 records fit.
    EXPECT_FALSE(Adc->ReadSamples(codes, n, 0));
    EXPECT_FALSE(Adc->ReadSamples(codes, n, 67));
    ASSERT_TRUE(Adc->Purge());
    for (int i = 0; i < 66; ++i)
        Unit->Injected += "7FFFFFFF\r";
    ASSERT_TRUE(Adc->ReadSamples(codes, n, 66));
    EXPECT_EQ(n, 66);
    // Garbage: every block either decodes or fails; nothing overruns and the link recovers.
    for (int i = 0; i < 20000; ++i)
        Unit->Injected += static_cast<char>((i * 37 + 11) % 256);
    int failures = 0;
    for (int i = 0; i < 400; ++i)
        failures += Adc->ReadSamples(codes, n, 64) ? 0 : 1;
    EXPECT_GT(failures, 0);
    Unit->Injected.clear();
    ASSERT_TRUE(Adc->Purge());
    Unit->Injected = "OK\r";
    EXPECT_TRUE(Adc->SendCommandWaitOK("?"));
}

TEST_F(DeviceLinkTest, WholeMeasurementAt10ksps) {
    AttachOpen();
    std::string name, version;
    ASSERT_TRUE(Adc->CheckResponse() && Adc->SetFilterSinc3() && Adc->SetRate(13) &&
                Adc->GetUnitName(name) && Adc->GetVersion(version));
    ASSERT_TRUE(Adc->StartConvert(0, 65536));
    EXPECT_EQ(Adc->TimeOutMs, 1000u);
    std::vector<uint32_t> codes;
    int reads = 0;
    ASSERT_TRUE(Acquire(codes, 65536, 64, Adc->GetSamplePeriod(13, 1), &reads));
    EXPECT_EQ(reads, 1024);
    // Every code arrives, in order, as the unit made it.
    TSignalGenerator reference(DefaultChannelSignal(0), Adc->GetSamplePeriod(13, 1), 1000003u);
    for (size_t i = 0; i < codes.size(); ++i)
        ASSERT_EQ(codes[i], reference.Next()) << i;
    EXPECT_TRUE(Adc->StopConvert());
    EXPECT_EQ(Adc->TimeOutMs, 100u);
    // The unit stopped at the count, and answers again.
    Advance(100);
    int n = -1;
    ASSERT_TRUE(Adc->ReadSamples(codes.data(), n, 1));
    EXPECT_EQ(n, 0);
    EXPECT_TRUE(Adc->CheckResponse());
}

TEST_F(DeviceLinkTest, InjectedFaults) {
    std::vector<uint32_t> codes;
    for (bool high : {true, false}) {
        TUnitFaults f;
        f.fullScaleAt = 100;
        f.fullScaleHigh = high;
        AttachOpen(f);
        ASSERT_TRUE(Adc->StartConvert(0, 1024));
        ASSERT_TRUE(Acquire(codes, 1024, 64, 0.1));
        EXPECT_EQ(codes[100], high ? 0xFFFFFFFFu : 0u);
        EXPECT_NE(codes[99], high ? 0xFFFFFFFFu : 0u);
    }
    TUnitFaults noCr;
    noCr.noCrAt = 70;
    AttachOpen(noCr);
    ASSERT_TRUE(Adc->StartConvert(0, 1024));
    EXPECT_FALSE(Acquire(codes, 1024, 64, 0.1));
    EXPECT_EQ(codes.size(), 70u) << "64 from the first block, 6 before the bad record";

    // A link that drops fails the reads, then the purge, which closes it.
    TUnitFaults drop;
    drop.dropAfter = 300;
    AttachOpen(drop);
    ASSERT_TRUE(Adc->StartConvert(0, 1024));
    EXPECT_FALSE(Acquire(codes, 1024, 64, 0.1));
    EXPECT_LE(codes.size(), 300u);
    EXPECT_FALSE(Adc->CheckResponse());
    EXPECT_FALSE(Adc->IsOpen());
    EXPECT_EQ(d2xx::OpenHandleCount(), 0);

    TUnitFaults ng;
    ng.ngCommand = "S3";
    AttachOpen(ng);
    EXPECT_TRUE(Adc->SetFilterSinc5());
    EXPECT_FALSE(Adc->SetFilterSinc3());
    ng.ngCommand = "U?";
    AttachOpen(ng);
    std::string text;
    EXPECT_FALSE(Adc->GetUnitName(text));
    EXPECT_TRUE(Adc->GetVersion(text));

    AttachOpen(Silent());
    ASSERT_TRUE(Adc->StartConvert(0, 1024));
    Advance(500);
    int n = -1;
    ASSERT_TRUE(Adc->ReadSamples(codes.data(), n, 64));
    EXPECT_EQ(n, 0);
}
