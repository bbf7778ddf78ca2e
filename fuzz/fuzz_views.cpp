// The graphs' and readouts' arithmetic fed directly: settings with every value a reader can
// hand on (flags and lists as the readers restrict them, the dB indices and colours as any
// 32-bit number, since only the dB range test stands between those and the graphs), and a
// block of codes. Faster to reach the far ends of the dB indices than through the file text.
#include <fuzzer/FuzzedDataProvider.h>

#include <memory>

#include "display_chain.h"
#include "fuzz_check.h"
#include "record.h"

namespace {

int32_t AnyIndex(FuzzedDataProvider& in) {
    return in.ConsumeBool() ? in.ConsumeIntegralInRange<int32_t>(-3, 23)
                            : in.ConsumeIntegral<int32_t>();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::unique_ptr<TMeasureRecord> rec = TMeasureRecord::Create();
    FuzzedDataProvider in(data, size);

    TADSetting ad;
    ad.spsSel = in.ConsumeIntegralInRange<int32_t>(0, 13);
    ad.sinc3 = in.ConsumeBool() ? 1 : 0;
    TFFTSetting s;
    for (uint8_t* f : {&s.fWaveGraph, &s.fSig_Volt, &s.fWinFuncAdjust, &s.fDCCut_FFT,
                       &s.fDCCut_SigGraph, &s.fLogGraph, &s.fAbsoGraph})
        *f = in.ConsumeBool() ? 1 : 0;
    s.index_FreqS = in.ConsumeIntegralInRange<int32_t>(0, 13);
    s.index_FreqE = in.ConsumeIntegralInRange<int32_t>(s.index_FreqS + 1, 14);
    s.index_dB_max = AnyIndex(in);
    s.index_dB_min = AnyIndex(in);
    s.whichWindowFunc = in.ConsumeIntegralInRange<int32_t>(0, 3);
    s.DataCountSel = in.ConsumeIntegralInRange<int32_t>(0, 8);
    s.DataCountMax = 1024 << s.DataCountSel;
    if (!chain::Accepted(s)) return 0;
    chain::CheckSettingsViews(s, ad);

    TSignalData sig;
    sig.pCode = rec->CodeBuf.data();
    sig.pVolt = rec->VoltBuf.data();
    sig.pSpectrum = rec->Spectrum.data();
    sig.ad_dnum = 1024 << in.ConsumeIntegralInRange<int>(0, 1);
    // A constant block, a few levels, or codes straight from the input.
    const int shape = in.ConsumeIntegralInRange<int>(0, 2);
    const uint32_t base = in.ConsumeIntegral<uint32_t>();
    for (int i = 0; i < sig.ad_dnum; i++) {
        uint32_t c = base;
        if (shape == 1) c = base + (in.ConsumeIntegral<uint8_t>() & 3u);
        if (shape == 2) c = in.ConsumeIntegral<uint32_t>();
        sig.pCode[i] = c;
    }
    chain::CheckBlockViews(sig, ad, s, *rec);
    return 0;
}
