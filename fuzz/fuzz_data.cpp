// Data file reader: any bytes must give true or false, never a crash or a write past the
// sample arrays; the caller's block changes only on success, and then holds a valid count.
#include "mem_file.h"
#include "myfile.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TMemFile mem;
    // Exactly MAX_DATA_COUNT entries, as ReadDTA documents: ASan sees any write past them.
    static std::vector<uint32_t> codes(MAX_DATA_COUNT);
    static std::vector<float> volts(MAX_DATA_COUNT);
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
    TmyFile f;
    if (!f.ReadDTA(mem.Path(), DTA_HEADER, &sig, &fft, &file, &ad)) {
        if (sig.ad_dnum != 0 || sig.deltaF != 1.0f || codes[0] != 0xDEADBEEFu ||
            volts[0] != -123.0f)
            std::abort();
        return 0;
    }
    if (!IsValidDataCount(sig.ad_dnum) || !(sig.deltaF > 0.0f) || !std::isfinite(sig.deltaF))
        std::abort();
    for (int32_t i = 0; i < sig.ad_dnum; ++i)
        if (!std::isfinite(volts[static_cast<size_t>(i)])) std::abort();
    return 0;
}
