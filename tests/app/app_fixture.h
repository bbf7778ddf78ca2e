// The main window on the simulated unit, in-process, with the unit's clock in the test's hand
// and every dialog answered by a script.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>

#include "fake_seam.h"
#include "main_window.h"
#include "mystatus.h"
#include "temp_dir.h"
#include "virtual_unit.h"

class AppTest : public ::testing::Test {
protected:
    TempDir dir;
    FakeSeam seam;
    int64_t ClockUs = 0;
    std::shared_ptr<TVirtualUnit> Unit;
    std::unique_ptr<TFormMain> Form;

    void SetUp() override {
        Tft_FIFO::Hooks.nowUs = [this] { return ClockUs; };
        Tft_FIFO::Hooks.pump = [this] { ClockUs += 50; };
        Tft_FIFO::Hooks.idleSleepUs = 0;
    }
    void TearDown() override {
        Form.reset();
        d2xx::DetachVirtualDevice();
        Tft_FIFO::Hooks = TLinkHooks{};
    }
    void AttachUnit(TUnitConfig config = {}) {
        Unit = std::make_shared<TVirtualUnit>(std::move(config), &ClockUs);
        d2xx::AttachVirtualDevice(Unit);
    }
    void AttachUnit(TUnitFaults faults) {
        TUnitConfig c;
        c.faults = std::move(faults);
        AttachUnit(std::move(c));
    }
    static TUnitFaults Silent() {
        TUnitFaults f;
        f.silent = true;
        return f;
    }
    static TUnitFaults FullScaleAt(long long n) {
        TUnitFaults f;
        f.fullScaleAt = n;
        return f;
    }
    static TUnitFaults DropAfter(long long n) {
        TUnitFaults f;
        f.dropAfter = n;
        return f;
    }
    // A started window: the first-idle work done, settings from initText when given.
    void Start(const std::string& initText = {}) {
        if (!initText.empty()) TempDir::Write(InitPath(), initText);
        TFormMainOptions o;
        o.seam = &seam;
        o.initFilePath = InitPath();
        o.pumpEventsInWaits = false;
        o.printWithoutDialog = true;
        Form = std::make_unique<TFormMain>(o);
        Form->FirstIdle();
        // The hooks the window installs are replaced by the test's clock.
        Tft_FIFO::Hooks.pump = [this] { ClockUs += 50; };
    }
    std::string InitPath() const { return dir.file("Kalvexini.prf"); }

    // Runs a measurement to its end as the polling timer would, letting unit time pass.
    void Measure(int maxSteps = 2000000) {
        Form->StartMeasure();
        for (int i = 0; i < maxSteps && Form->fMeasuring; ++i) {
            ClockUs += 1000;
            Form->AcquireStep();
        }
    }
    std::string Title() const { return Form->windowTitle().toStdString(); }
    std::string Panel(int i) const { return Form->myStatus->PanelText(i); }
    static std::string Text(const QLineEdit* e) { return e->text().toStdString(); }
    std::vector<std::string> Messages() const {
        std::vector<std::string> m;
        for (const auto& a : seam.asked)
            if (a.kind == "message") m.push_back(a.text);
        return m;
    }
    // A small measurement: 1024 samples at 10 ksps.
    void SmallBlock() {
        Form->Rec->FFTSetting.DataCountSel = 0;
        Form->Rec->FFTSetting.DataCountMax = 1024;
    }
};
