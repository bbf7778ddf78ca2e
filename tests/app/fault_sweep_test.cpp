// Every way a measurement can go wrong, through the simulated unit's faults: each ends with
// its texts and state, and the next measurement works once the fault is gone.
#include "app_fixture.h"

#include <map>

#include <QMenu>

#include "ad7177.h"

#include <csignal>
#include <fstream>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// A unit that goes away right after it has told its version, before the start command.
class TGoneBeforeStart : public TVirtualUnit {
public:
    using TVirtualUnit::TVirtualUnit;
    void Collect(std::string& out) override {
        const size_t before = out.size();
        TVirtualUnit::Collect(out);
        if (Wire.find("V?\r") != std::string::npos && out.find('\r', before) != std::string::npos)
            armed_ = true;
    }
    bool Connected() const override {
        if (armed_ && seen_) return false;
        if (armed_) seen_ = true;
        return TVirtualUnit::Connected();
    }

private:
    bool armed_ = false;
    mutable bool seen_ = false;
};

class FaultSweep : public AppTest {
protected:
    // The start ends idle, and a good unit measures again afterwards.
    void ExpectIdleAndRecovers() {
        EXPECT_FALSE(Form->fMeasuring);
        EXPECT_EQ(Form->MeasureStartBtn->text().toStdString(), "計測開始");
        EXPECT_TRUE(Form->MenuMeasureStart->isEnabled());
        AttachUnit();
        Measure();
        EXPECT_TRUE(Form->fDataValid);
        EXPECT_EQ(Panel(1), "計測終了しました");
    }
    static long RssKb() {
        std::ifstream in("/proc/self/statm");
        long pages = 0, rss = 0;
        in >> pages >> rss;
        return rss * (sysconf(_SC_PAGESIZE) / 1024);
    }
};

} // namespace

TEST_F(FaultSweep, NgToASetupCommandEndsSilentlyWithTheLinkOpen) {
    // An old connection error in panel 0 goes with the next start.
    Start();
    Form->myStatus->ShowNotFound();
    for (const char* cmd : {"S3", "FD", "U?", "V?"}) {
        TUnitFaults f;
        f.ngCommand = cmd;
        AttachUnit(f);
        if (!Form) Start();
        SmallBlock();
        Form->StartMeasure();
        EXPECT_TRUE(Messages().empty()) << cmd;
        // No box, but panel 0 says which step failed.
        const std::map<std::string, std::string> why{
            {"S3", "ZR4410QMのフィルタ設定ができませんでした"},
            {"FD", "ZR4410QMのサンプリングレート設定ができませんでした"},
            {"U?", "ZR4410QMのユニット名を読み出せませんでした"},
            {"V?", "ZR4410QMのバージョンを読み出せませんでした"}};
        EXPECT_EQ(Panel(0), why.at(cmd)) << cmd;
        EXPECT_FALSE(Form->fMeasuring) << cmd;
        EXPECT_TRUE(Form->ADUnit->IsOpen()) << cmd; // left open, as the silent failures do
        EXPECT_EQ(Unit->Wire.find("A0"), std::string::npos) << cmd << " wire: " << Unit->Wire;
    }
    ExpectIdleAndRecovers();
}

TEST_F(FaultSweep, StartCommandNotWrittenClosesTheLink) {
    Unit = std::make_shared<TGoneBeforeStart>(TUnitConfig{}, &ClockUs);
    d2xx::AttachVirtualDevice(Unit);
    Start();
    SmallBlock();
    Form->StartMeasure();
    EXPECT_EQ(Panel(0), "コマンド送信エラーです");
    EXPECT_EQ(Messages(), std::vector<std::string>{"コマンド送信エラーです"});
    EXPECT_FALSE(Form->fUnitOpen);
    ExpectIdleAndRecovers();
}

TEST_F(FaultSweep, AUnitLeftStreamingByAKilledRunMeasuresAtTheFirstStart) {
    for (const std::string left : {"F0\rA000000\r", "FD\rA040000\r"}) {
        AttachUnit();
        // The last run died mid-block: nobody said "AX", and the unit streams on.
        Unit->Engine.Receive(left.data(), left.size(), ClockUs * 1000);
        ClockUs += 2'000'000;
        if (!Form) Start();
        SmallBlock();
        Measure();
        EXPECT_TRUE(Messages().empty()) << left;
        EXPECT_TRUE(Form->fDataValid) << left;
        EXPECT_EQ(Panel(1), "計測終了しました") << left;
        EXPECT_EQ(Unit->Wire.rfind("AX\r?\r", 0), 0u) << Unit->Wire;
    }
}

TEST_F(FaultSweep, RecordWithoutCrOrALinkThatClosesMidStream) {
    TUnitFaults noCr;
    noCr.noCrAt = 500;
    AttachUnit(noCr);
    Start();
    SmallBlock();
    Measure();
    EXPECT_EQ(Panel(2), "計測エラーで終了");
    EXPECT_EQ(Panel(1), "");
    EXPECT_FALSE(Form->fDataValid);
    EXPECT_TRUE(Messages().empty());

    // The cable pulled after 700 records: the link is gone, the next start opens afresh.
    AttachUnit(DropAfter(700));
    Measure();
    EXPECT_EQ(Panel(2), "計測エラーで終了");
    EXPECT_EQ(Form->Rec->SigData.ad_dnum, 0);
    ExpectIdleAndRecovers();
}

TEST_F(FaultSweep, FullScaleCodesAtEitherEnd) {
    for (bool high : {true, false}) {
        TUnitFaults f;
        f.fullScaleAt = 0;
        f.fullScaleHigh = high;
        AttachUnit(f);
        if (!Form) Start();
        SmallBlock();
        Measure();
        EXPECT_EQ(Panel(2), "入力信号レベルが適正範囲からはずれています");
        EXPECT_FALSE(Form->fDataValid);
        // Stop sent twice on this path; the unit takes it.
        const std::string& w = Unit->Wire;
        EXPECT_NE(w.find("AX\rAX\r"), std::string::npos);
    }
    EXPECT_EQ(Messages().size(), 2u);
    ExpectIdleAndRecovers();
}

TEST_F(FaultSweep, AHundredMeasurementsKeepMemoryFlat) {
    AttachUnit();
    Start();
    SmallBlock();
    for (int i = 0; i < 10; ++i)
        Measure();
    const long before = RssKb();
    for (int i = 0; i < 100; ++i) {
        Measure();
        ASSERT_TRUE(Form->fDataValid) << i;
    }
    const long grown = RssKb() - before;
    RecordProperty("rss_growth_kb", static_cast<int>(grown));
    std::printf("RSS growth over 100 measurements: %ld kB\n", grown);
    // The address sanitizer keeps freed blocks in quarantine, so the bound holds only in the
    // normal build; under the sanitizer the hundred blocks still have to come, and its leak
    // check at exit covers what they might leave.
#if !defined(__SANITIZE_ADDRESS__)
    EXPECT_LT(grown, 2048);
#endif
}

TEST_F(FaultSweep, SaveOntoAFullDiskKeepsTheOldFile) {
    AttachUnit();
    Start();
    Measure(); // 65536 samples: about 2 MB of text
    const std::string path = dir.file("old.DTA");
    TempDir::Write(path, "old contents");
    struct rlimit old {};
    ::getrlimit(RLIMIT_FSIZE, &old);
    auto handler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 256 * 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    seam.fileNames = {path};
    seam.answers = {true};
    Form->MenuDataSaveClick();
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, handler);
    EXPECT_EQ(Messages(), std::vector<std::string>{"データ保存できませんでした"});
    EXPECT_EQ(TempDir::Read(path), "old contents");
    EXPECT_FALSE(Form->fDataSaved);
}
