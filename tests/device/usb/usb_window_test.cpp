// The main window on a unit behind the emulated USB chip, on the real clock and the real event
// loop: the cable pulled mid-block and plugged back.
#include "app_fixture.h"
#include "emulated_ftdi.h"

#include <QElapsedTimer>
#include <QTimer>

#include <cstdlib>

using namespace usbemul;

namespace {

class UsbWindowTest : public AppTest {
protected:
    TUsbBench Bus;

    void SetUp() override {
        AppTest::SetUp();
        setenv("KALVEX_UNIT_SOCKET", "/nonexistent/kalvex-unit.sock", 1);
    }
    void StartOnRealClock() {
        Start();
        Tft_FIFO::Hooks = TLinkHooks{};
    }
    // Runs the event loop until done() or the limit; returns the longest time the loop did not
    // turn (a 5 ms timer measures it).
    template <class F> qint64 RunUntil(F done, int limitMs) {
        QElapsedTimer clock, sinceTick;
        clock.start();
        sinceTick.start();
        qint64 longest = 0;
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] {
            longest = std::max(longest, sinceTick.elapsed());
            sinceTick.restart();
        });
        tick.start(5);
        while (!done() && clock.elapsed() < limitMs)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        return std::max(longest, sinceTick.elapsed());
    }
};

} // namespace

TEST_F(UsbWindowTest, PulledCableEndsTheBlockAndReplugMeasuresAgain) {
    TEmulatedChip& chip = Bus.Plug();
    StartOnRealClock();
    Form->MeasureStartBtnClick(); // 65 536 samples at 10 ksps: 6.5 s
    ASSERT_TRUE(Form->fMeasuring);
    RunUntil([&] { return Form->RecvCount >= 2000; }, 5000);
    ASSERT_TRUE(Form->fMeasuring);
    ASSERT_GT(Form->RecvCount, 0);

    chip.Unplug();
    const qint64 stall = RunUntil([&] { return !Form->fMeasuring; }, 5000);
    EXPECT_FALSE(Form->fMeasuring);
    EXPECT_EQ(Panel(2), "計測エラーで終了");
    EXPECT_FALSE(Form->fDataValid);
    EXPECT_EQ(Form->MeasureStartBtn->text().toStdString(), "計測開始");
    EXPECT_LT(stall, 1000) << "the event loop stood still";

    // Plugged back in: the next start works, in the same window.
    chip.Replug();
    SmallBlock();
    Form->MeasureStartBtnClick();
    ASSERT_TRUE(Form->fMeasuring) << Panel(0);
    RunUntil([&] { return !Form->fMeasuring; }, 10000);
    EXPECT_TRUE(Form->fDataValid);
    EXPECT_EQ(Panel(1), "計測終了しました");
    EXPECT_EQ(Form->Rec->SigData.ad_dnum, 1024);
}
