// Nothing held is lost without a question, no view outlives its data, and every failure of a
// start or of the program itself is said in words.
#include "app_fixture.h"

#include <QCloseEvent>
#include <QLabel>
#include <QMenu>

#include <filesystem>
#include <new>
#include <stdexcept>
#include <unistd.h>

#include "axis_labels.h"
#include "file_fixtures_app.h"
#include "guarded_app.h"
#include "myfile.h"
#include "mymessage.h"
#include "tables.h"

namespace {

constexpr const char* kDiscard = "データを保存していませんが、破棄してもいいですか？";

class SafetyTest : public AppTest {
protected:
    void Measured(TUnitConfig config = {}) {
        AttachUnit(std::move(config));
        Start();
        SmallBlock();
        Measure();
        ASSERT_TRUE(Form->fDataValid);
        seam.asked.clear();
    }
    int Asked(const std::string& text) const {
        int n = 0;
        for (const auto& a : seam.asked)
            n += a.text == text ? 1 : 0;
        return n;
    }
    static TUnitConfig Quiet() {
        TUnitConfig c;
        c.channels[0] = TChannelSignal{}; // every code 0x80000000
        return c;
    }
    std::string TimeEnd() const { return Form->LabelTimeE->text().toStdString(); }
};

} // namespace

// --- readouts without data or without signal ---

TEST_F(SafetyTest, LevelStatisticsWithoutDataShowTheEmptyBlockRange) {
    Start();
    Form->StatusBar1Click(); // the resolution text first: empty without data
    EXPECT_EQ(Panel(2), "");
    Form->StatusBar1Click();
    EXPECT_EQ(Panel(2),
              "最大値：2147483848 / 最小値：2147483448 / pp値：400 digit / 標準偏差：0.0 digit");

    // Data that has been dropped (File New) counts as none.
    AttachUnit();
    SmallBlock();
    Measure();
    seam.answers = {true};
    seam.fileNames = {dir.file("next.DTA")};
    Form->MenuFileNewClick();
    Form->fStatusDeltaF = true;
    Form->StatusBar1Click();
    EXPECT_EQ(Panel(2),
              "最大値：2147483848 / 最小値：2147483448 / pp値：400 digit / 標準偏差：0.0 digit");
}

TEST_F(SafetyTest, ABlockWithoutSignalReadsTheFloorNotThePreviousLine) {
    Measured();
    ASSERT_NE(Text(Form->EditPeakdB), "-150.00");
    AttachUnit(Quiet());
    Measure();
    ASSERT_TRUE(Form->fDataValid);
    // Default range: top index 2 (0 dBV) to index 17, the floor at -150 dB.
    EXPECT_EQ(Text(Form->EditPeakdB), "-150.00");
    Form->PeakFwdBtnClick();
    EXPECT_EQ(Text(Form->EditPeakdB), "-150.00");
    Form->PaintBox1MouseDown(Form->PaintBox1->width() / 2);
    EXPECT_EQ(Text(Form->EditPeakdB), "-150.00");
}

// --- stale views ---

TEST_F(SafetyTest, TheTimeAxisFollowsTheBlockBeingMeasured) {
    Measured();
    const std::string small = TimeEnd();
    Form->Rec->FFTSetting.DataCountSel = 1;
    Form->Rec->FFTSetting.DataCountMax = 2048;
    Form->StartMeasure();
    ASSERT_TRUE(Form->fMeasuring);
    const std::string during = TimeEnd();
    EXPECT_NE(during, small);
    EXPECT_EQ(Form->Rec->SigData.ad_dnum, 0);
    for (int i = 0; i < 200000 && Form->fMeasuring; ++i) {
        ClockUs += 1000;
        Form->AcquireStep();
    }
    ASSERT_TRUE(Form->fDataValid);
    EXPECT_EQ(TimeEnd(), during);
}

TEST_F(SafetyTest, ASettingsLoadDropsTheReferenceFromTheAxes) {
    Measured();
    const std::string ref = dir.file("ref.DTA");
    seam.fileNames = {ref};
    seam.answers = {true};
    Form->MenuDataSaveClick();
    seam.fileNames = {ref};
    Form->MenuRefLoadFileClick();
    ASSERT_TRUE(Form->fRefValid);

    // Settings for 5 sps and 65536 samples: the time axis must show their span, not the
    // reference's 102.4 ms.
    const std::string prf = dir.file("slow.prf");
    TempDir::Write(prf, InitText({{"spsSel:", "spsSel:0"}}));
    seam.fileNames = {prf};
    Form->MenuOpenSettingFileClick();
    EXPECT_FALSE(Form->fRefValid);
    EXPECT_EQ(Form->Rec->RefData.ad_dnum, 0);
    EXPECT_EQ(Form->Rec->SigData.ad_dnum, 0);
    EXPECT_EQ(TimeEnd(), FormatTimeSpan(SamplePeriodMs(0, 1) * 65536.0f));
    // Clearing the reference afterwards is harmless.
    Form->MenuRefClearClick();
    EXPECT_EQ(Form->Rec->RefData.ad_dnum, 0);
}

TEST_F(SafetyTest, ASampleCountChangeClearsReadoutsOrKeepsEverythingOnCancel) {
    Measured();
    const std::string rms = Text(Form->EditRMS);
    const TFFTSetting before = Form->Rec->FFTSetting;
    TFFTSetting count = before;
    count.DataCountSel = 1;
    count.DataCountMax = 2048;
    TFileSetting file = Form->Rec->FileSetting;
    file.DataFileName = dir.file("other.DTA");

    seam.answers = {false}; // Cancel
    EXPECT_FALSE(Form->ApplyFFTSetting(count, &file));
    EXPECT_EQ(Asked(kDiscard), 1);
    EXPECT_TRUE(Form->fDataValid);
    EXPECT_EQ(Form->Rec->FFTSetting, before);
    EXPECT_NE(Form->Rec->FileSetting.DataFileName, file.DataFileName);
    EXPECT_EQ(Text(Form->EditRMS), rms);

    seam.answers = {true};
    EXPECT_TRUE(Form->ApplyFFTSetting(count, &file));
    EXPECT_FALSE(Form->fDataValid);
    EXPECT_EQ(Form->Rec->FileSetting.DataFileName, file.DataFileName);
    for (const QLineEdit* e :
         {Form->EditRMS, Form->EditPeakVolt, Form->EditPeakdB, Form->EditPeakHz})
        EXPECT_EQ(Text(e), "---");
    EXPECT_EQ(Panel(1), "");
    EXPECT_EQ(Panel(2), "");
}

TEST_F(SafetyTest, DisplayOnlyChangesKeepTheSteppedBin) {
    Measured();
    Form->PeakFwdBtnClick();
    Form->PeakFwdBtnClick();
    const std::string hz = Text(Form->EditPeakHz);
    const std::string dB = Text(Form->EditPeakdB);
    TFFTSetting colours = Form->Rec->FFTSetting;
    colours.PenColorGraph = 0xFF0000;
    Form->ApplyFFTSetting(colours);
    EXPECT_EQ(Text(Form->EditPeakHz), hz);
    EXPECT_EQ(Text(Form->EditPeakdB), dB);

    // Relative dB: the same bin, its level against the largest line.
    TFFTSetting relative = Form->Rec->FFTSetting;
    relative.fAbsoGraph = 0;
    Form->ApplyFFTSetting(relative);
    EXPECT_EQ(Text(Form->EditPeakHz), hz);
    EXPECT_NE(Text(Form->EditPeakdB), dB);
    EXPECT_EQ(Form->LabelPeakdB->text().toStdString(), "dB");

    // A new window function is a new spectrum: back to the largest line.
    TFFTSetting window = Form->Rec->FFTSetting;
    window.whichWindowFunc = 3;
    Form->ApplyFFTSetting(window);
    EXPECT_NEAR(std::stod(Text(Form->EditPeakHz)), 1000.0, 10.0);
}

// --- values from files ---

TEST_F(SafetyTest, AnInitFileWithAnInconsistentdBRangeIsReplaced) {
    Start(InitText({{"index_dB_max:", "index_dB_max:17"}}));
    EXPECT_EQ(Form->Rec->FFTSetting.index_dB_max, 2);
    EXPECT_EQ(Form->Rec->FFTSetting.index_dB_min, 17);
    EXPECT_NE(TempDir::Read(InitPath()).find("index_dB_max:2\r\n"), std::string::npos);
}

TEST_F(SafetyTest, ADataFileWithAnInconsistentdBRangeIsRefused) {
    Measured();
    const std::string good = dir.file("good.DTA");
    seam.fileNames = {good};
    Form->MenuDataSaveClick();
    std::string text = TempDir::Read(good);
    const size_t at = text.find("index_dB_max:2\r\n");
    ASSERT_NE(at, std::string::npos);
    text.replace(at, 16, "index_dB_max:17\r\n");
    const std::string bad = dir.file("bad.DTA");
    TempDir::Write(bad, text);

    seam.asked.clear();
    seam.fileNames = {bad};
    Form->MenuDataLoadClick();
    EXPECT_EQ(Messages(), std::vector<std::string>{"データファイルの内容が正しくありませんでした"});
    EXPECT_EQ(Form->Rec->FFTSetting.index_dB_max, 2);
    EXPECT_TRUE(Form->fDataValid);
}

// The location rules need permissions that bind: as root (CI) the checks run in a child that
// has become the unprivileged user "nobody". The child reports the first failed check.
TEST(InitFilePlace, TheSaveGoesWhereItCanWorkAndASiteFileIsRead) {
    TempDir app, config;
    const QString appDir = QString::fromStdString(app.path());
    const QString cfgDir = QString::fromStdString(config.path());
    const std::string beside = app.file("Kalvexini.prf"), own = config.file("Kalvexini.prf");

    TInitFilePaths p = ChooseInitFilePaths(appDir, cfgDir);
    EXPECT_EQ(p.read, beside);
    EXPECT_EQ(p.write, beside);

    auto checks = [&]() -> int {
        // A write-protected site file: read it, save to the user's folder.
        TempDir::Write(beside, "site");
        std::filesystem::permissions(beside, std::filesystem::perms::owner_read);
        TInitFilePaths q = ChooseInitFilePaths(appDir, cfgDir);
        if (q.read != beside || q.write != own) return 1;
        // A writable file in a read-only folder cannot be replaced through a temporary file.
        std::filesystem::permissions(beside, std::filesystem::perms::owner_read |
                                                 std::filesystem::perms::owner_write);
        std::filesystem::permissions(app.path(), std::filesystem::perms::owner_read |
                                                     std::filesystem::perms::owner_exec);
        q = ChooseInitFilePaths(appDir, cfgDir);
        if (q.read != beside || q.write != own) return 2;
        // Once the user has saved their own, it is read.
        TempDir::Write(own, "mine");
        q = ChooseInitFilePaths(appDir, cfgDir);
        if (q.read != own || q.write != own) return 3;
        return 0;
    };
    if (::geteuid() != 0) {
        EXPECT_EQ(checks(), 0);
        return;
    }
    constexpr uid_t kNobody = 65534;
    ASSERT_EQ(::chown(app.path().c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(::chown(config.path().c_str(), kNobody, kNobody), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) ::_exit(10);
        ::_exit(checks());
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "first failed check";
    // Let the cleanup remove what the child made.
    std::filesystem::permissions(app.path(), std::filesystem::perms::owner_all);
}

// --- nothing lost ---

TEST_F(SafetyTest, NoToTheOverwriteQuestionIsNotASave) {
    Measured();
    const std::string path = dir.file("kept.DTA");
    TempDir::Write(path, "keep");
    seam.fileNames = {path};
    seam.answers = {false};
    Form->MenuDataSaveClick();
    EXPECT_EQ(TempDir::Read(path), "keep");
    EXPECT_FALSE(Form->fDataSaved);
    EXPECT_TRUE(Messages().empty());
    // So File New still asks.
    seam.asked.clear();
    Form->MenuFileNewClick();
    EXPECT_EQ(Asked(kDiscard), 1);
    EXPECT_TRUE(Form->fDataValid);
}

TEST_F(SafetyTest, FileNewAsksAfterAFailedAutoSave) {
    AttachUnit();
    Start(InitText({{"fSaveDataFile:", "fSaveDataFile:1"},
                    {"DataFileName:", "DataFileName:" + dir.file("missing/auto.DTA")}}));
    SmallBlock();
    Measure();
    ASSERT_TRUE(Form->fDataValid);
    EXPECT_FALSE(Form->fDataSaved);
    EXPECT_EQ(Messages(), std::vector<std::string>{"データ保存できませんでした"});
    seam.asked.clear();
    Form->MenuFileNewClick(); // Cancel
    EXPECT_EQ(Asked(kDiscard), 1);
    EXPECT_TRUE(Form->fDataValid);
    // A saved block is dropped without a question.
    seam.fileNames = {dir.file("saved.DTA"), dir.file("next.DTA")};
    Form->MenuDataSaveClick();
    seam.asked.clear();
    Form->MenuFileNewClick();
    EXPECT_EQ(Asked(kDiscard), 0);
    EXPECT_FALSE(Form->fDataValid);
}

TEST_F(SafetyTest, ClosingWithAnUnsavedBlockAsksAndCancelKeepsTheWindow) {
    Measured();
    const std::string init = TempDir::Read(InitPath());
    Form->Rec->FFTSetting.whichWindowFunc = 2;
    seam.answers = {false};
    QCloseEvent refused;
    QCoreApplication::sendEvent(Form.get(), &refused);
    EXPECT_FALSE(refused.isAccepted());
    EXPECT_EQ(Asked(kDiscard), 1);
    EXPECT_EQ(TempDir::Read(InitPath()), init);
    EXPECT_TRUE(Form->fDataValid);

    seam.answers = {true};
    QCloseEvent agreed;
    QCoreApplication::sendEvent(Form.get(), &agreed);
    EXPECT_TRUE(agreed.isAccepted());
    EXPECT_NE(TempDir::Read(InitPath()).find("whichWindowFunc:2\r\n"), std::string::npos);
}

TEST_F(SafetyTest, ASettingsLoadAsksOnlyAfterAGoodReadAndCancelKeepsEverything) {
    Measured();
    const std::string prf = dir.file("s.prf");
    TempDir::Write(prf, "not a settings file");
    seam.fileNames = {prf};
    Form->MenuOpenSettingFileClick();
    EXPECT_EQ(Asked(kDiscard), 0);

    TempDir::Write(prf, InitText({{"whichWindowFunc:", "whichWindowFunc:0"}}));
    seam.fileNames = {prf};
    seam.answers = {false};
    Form->MenuOpenSettingFileClick();
    EXPECT_EQ(Asked(kDiscard), 1);
    EXPECT_TRUE(Form->fDataValid);
    EXPECT_EQ(Form->Rec->FFTSetting.whichWindowFunc, 1);
    EXPECT_NE(Text(Form->EditRMS), "---");
}

// --- clear messages ---

TEST_F(SafetyTest, AStopClickWhileTheUnitOpensStopsTheStart) {
    AttachUnit();
    Start();
    SmallBlock();
    bool clicked = false;
    Tft_FIFO::Hooks.pump = [&] {
        ClockUs += 50;
        // The click arrives during the first reply wait, the caption already "計測中止".
        if (!clicked && Form->MeasureStartBtn->text().toStdString() == "計測中止") {
            clicked = true;
            Form->MeasureStartBtnClick();
        }
    };
    Form->MeasureStartBtnClick();
    ASSERT_TRUE(clicked);
    EXPECT_FALSE(Form->fMeasuring);
    EXPECT_EQ(Unit->Wire.find("A0"), std::string::npos) << Unit->Wire;
    EXPECT_EQ(Panel(1), "計測中止しました");
    EXPECT_EQ(Form->MeasureStartBtn->text().toStdString(), "計測開始");
    EXPECT_TRUE(Form->MenuMeasureStart->isEnabled());
    EXPECT_TRUE(Messages().empty());

    // The next start runs normally.
    Tft_FIFO::Hooks.pump = [this] { ClockUs += 50; };
    Measure();
    EXPECT_TRUE(Form->fDataValid);
}

TEST_F(SafetyTest, AnotherModelOrADroppedLinkIsNamedInPanelZero) {
    TUnitConfig other;
    other.modelName = "ZR9999";
    AttachUnit(other);
    Start();
    Form->StartMeasure();
    EXPECT_EQ(Panel(0), "接続されたユニット（ZR9999）はZR4410QMではありません");
    EXPECT_TRUE(Messages().empty());

    AttachUnit(DropAfter(300));
    SmallBlock();
    Measure();
    EXPECT_EQ(Panel(2), "計測エラーで終了");
    EXPECT_EQ(Panel(0), "ZR4410QMとの通信が途切れました");
}

TEST_F(SafetyTest, AnUnhandledExceptionShowsItsBoxSavesTheInitFileAndEndsTheLoop) {
    int ended = 0;
    TFormMainOptions o;
    o.seam = &seam;
    o.initFilePath = InitPath();
    o.pumpEventsInWaits = false;
    o.endLoop = [&ended] { ++ended; };
    Form = std::make_unique<TFormMain>(o);
    Form->FirstIdle();
    Form->Rec->FFTSetting.whichWindowFunc = 3;

    std::string seen;
    const bool delivered = DeliverGuarded([]() -> bool { throw std::runtime_error("boom"); },
                                          [&](const std::string& what) {
                                              seen = what;
                                              Form->HandleUnhandledException(what);
                                          });
    EXPECT_FALSE(delivered);
    EXPECT_EQ(seen, "boom");
    EXPECT_EQ(Messages(), std::vector<std::string>{"boom"});
    EXPECT_NE(TempDir::Read(InitPath()).find("whichWindowFunc:3\r\n"), std::string::npos);
    EXPECT_EQ(ended, 1);
    // Only the first one is handled; a non-standard exception has a text of its own.
    DeliverGuarded([]() -> bool { throw 42; },
                   [&](const std::string& what) { Form->HandleUnhandledException(what); });
    EXPECT_EQ(ended, 1);
    TmyMessage m(&seam, "ZR4410QM", "Kalvex");
    m.ShowException("");
    EXPECT_EQ(Messages().back(), "予期しないエラーが発生しました");
    EXPECT_TRUE(DeliverGuarded([] { return true; }, nullptr));
}

TEST_F(SafetyTest, AnObjectThatCannotBeCreatedEndsTheStartWithItsName) {
    for (const std::string name : {"TmyMessage", "TLabel_dB", "myStatus", "myFFT", "FFTGraph"}) {
        seam.asked.clear();
        std::filesystem::remove(InitPath());
        TFormMainOptions o;
        o.seam = &seam;
        o.initFilePath = InitPath();
        o.pumpEventsInWaits = false;
        o.beforeCreate = [name](const std::string& n) {
            if (n == name) throw std::bad_alloc();
        };
        Form = std::make_unique<TFormMain>(o);
        EXPECT_TRUE(Form->CreationFailed()) << name;
        EXPECT_EQ(Messages(), std::vector<std::string>{"致命的なメモリエラーです:" + name});
        EXPECT_EQ(seam.asked.back().icon, TMsgIcon::Error);
        // Nothing of the normal start runs: no init file, no question on close.
        Form->FirstIdle();
        EXPECT_FALSE(std::filesystem::exists(InitPath())) << name;
        EXPECT_TRUE(Form->close());
        Form.reset();
    }
}

TEST_F(SafetyTest, TheWindowHasOneFixedSize) {
    Start();
    EXPECT_EQ(Form->minimumSize(), Form->maximumSize());
    EXPECT_EQ(Form->Client->size(), QSize(812, 466));
    EXPECT_FALSE(Form->windowFlags() & Qt::WindowMaximizeButtonHint);
    Form->resize(1000, 700);
    EXPECT_EQ(Form->size(), Form->minimumSize());
}
