// The simulated unit's engine as an in-process D2XX device on a clock the test drives, and a
// fixture that points the link's waits at that clock.
#pragma once

#include "ad7177.h"
#include "d2xx/d2xx_virtual.h"
#include "unit_engine.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

class TVirtualUnit : public d2xx::TVirtualDevice {
public:
    TVirtualUnit(TUnitConfig config, const int64_t* nowUs)
        : Engine(std::move(config)), Now(nowUs) {}

    void HostWrite(const uint8_t* data, size_t n) override {
        Wire.append(reinterpret_cast<const char*>(data), n);
        Engine.Receive(reinterpret_cast<const char*>(data), n, *Now * 1000);
    }
    void Collect(std::string& out) override {
        out += Injected;
        Injected.clear();
        Engine.Collect(*Now * 1000, out);
    }
    bool Connected() const override { return !Engine.Dropped(); }

    TUnitEngine Engine;
    std::string Wire;     // every byte the host wrote
    std::string Injected; // raw bytes the unit sends at the next look

private:
    const int64_t* Now;
};

class DeviceLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        Tft_FIFO::Hooks.nowUs = [this] { return ClockUs; };
        Tft_FIFO::Hooks.pump = [this] { ClockUs += PumpStepUs; };
        Tft_FIFO::Hooks.idleSleepUs = 0;
    }
    void TearDown() override {
        Adc.reset();
        d2xx::DetachVirtualDevice();
        Tft_FIFO::Hooks = TLinkHooks{};
    }
    void Attach(TUnitConfig config = {}) {
        Unit = std::make_shared<TVirtualUnit>(std::move(config), &ClockUs);
        d2xx::AttachVirtualDevice(Unit);
    }
    // A new unit attached and a new link open to it, with nothing on the wire yet.
    void AttachOpen(TUnitConfig config = {}) {
        Adc = std::make_unique<TADC>();
        Attach(std::move(config));
        ASSERT_TRUE(Adc->OpenDevice());
        Unit->Wire.clear();
    }
    void AttachOpen(TUnitFaults faults) {
        TUnitConfig config;
        config.faults = std::move(faults);
        AttachOpen(std::move(config));
    }
    // Unit time that a call took.
    template <class F> int64_t Took(F&& call) {
        const int64_t start = ClockUs;
        call();
        return ClockUs - start;
    }
    void Advance(double ms) { ClockUs += static_cast<int64_t>(ms * 1000.0); }
    // Polls ReadSamples as the acquisition step does, letting the unit's time pass between
    // empty polls. Stops at the first failure; returns whether every read succeeded.
    bool Acquire(std::vector<uint32_t>& codes, size_t total, int block, double periodMs,
                 int* reads = nullptr) {
        codes.assign(total, 0);
        size_t have = 0;
        for (int idle = 0; have < total && idle < 1000;) {
            int n = 0;
            if (!Adc->ReadSamples(codes.data() + have, n, block)) {
                codes.resize(have + static_cast<size_t>(n));
                return false;
            }
            if (n == 0) {
                Advance(periodMs * block);
                ++idle;
            } else {
                have += static_cast<size_t>(n);
                idle = 0;
                if (reads) ++*reads;
            }
        }
        codes.resize(have);
        return true;
    }

    int64_t ClockUs = 0;
    int64_t PumpStepUs = 1000;
    std::shared_ptr<TVirtualUnit> Unit;
    std::unique_ptr<TADC> Adc = std::make_unique<TADC>();
};
