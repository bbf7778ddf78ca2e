// Data file reader: any bytes must give true or false, never a crash or a write past the
// sample arrays; the caller's block changes only on success, and then holds a valid count.
// An accepted block goes on the way the load-data command takes it: volts, spectrum, graphs
// and readouts with the file's own settings.
#include "display_chain.h"
#include "ext_setting.h"
#include "fuzz_check.h"
#include "mem_file.h"
#include "myfile.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TMemFile mem;
    // Exactly MAX_DATA_COUNT entries, as ReadDTA documents: ASan sees any write past them.
    static std::vector<uint32_t> codes(MAX_DATA_COUNT);
    static std::vector<float> volts(MAX_DATA_COUNT);
    static std::unique_ptr<TMeasureRecord> rec = TMeasureRecord::Create();
    mem.Set(data, size);

    codes[0] = 0xDEADBEEFu;
    volts[0] = -123.0f;
    TSignalData sig;
    sig.pCode = codes.data();
    sig.pVolt = volts.data();
    sig.ad_dnum = 0;
    sig.deltaF = 1.0f;
    TFFTSetting fft;
    TFileSetting file;
    TADSetting ad;
    TExtSetting ext;
    TmyFile f;
    if (!f.ReadDTA(mem.Path(), DTA_HEADER, &sig, &fft, &file, &ad, &ext)) {
        FUZZ_CHECK(sig.ad_dnum == 0 && sig.deltaF == 1.0f && codes[0] == 0xDEADBEEFu &&
                   volts[0] == -123.0f);
        return 0;
    }
    FUZZ_CHECK(IsValidDataCount(sig.ad_dnum) && sig.deltaF > 0.0f && std::isfinite(sig.deltaF));
    FUZZ_CHECK(CheckExtSetting(ext));
    for (int32_t i = 0; i < sig.ad_dnum; ++i)
        FUZZ_CHECK(std::isfinite(volts[static_cast<size_t>(i)]));

    // The reader range-checks the dB indices for every path that takes them (settings load,
    // init file, data load, kalvex-cli); the graphs then draw from what it accepted.
    if (!chain::Accepted(fft)) {
        FUZZ_CHECK(KnownFault("reader-db-range"));
        return 0;
    }
    chain::CheckSettingsViews(fft, ad);
    TSignalData shown = sig;
    const size_t n = static_cast<size_t>(sig.ad_dnum);
    std::memcpy(rec->CodeBuf.data(), codes.data(), n * sizeof(uint32_t));
    shown.pCode = rec->CodeBuf.data();
    shown.pVolt = rec->VoltBuf.data();
    shown.pSpectrum = rec->Spectrum.data();
    chain::CheckBlockViews(shown, ad, fft, *rec);
    return 0;
}
