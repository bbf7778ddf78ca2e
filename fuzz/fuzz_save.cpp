// Safe saving of settings and data files: a record built from the input (within what the
// program can hold) is written into a scratch folder that may already hold the target, a
// write-protected target, a symbolic link or an unusable name, under a file-size limit and with
// either answer to the overwrite question. Afterwards:
//  - a save that reports success reads back with the program's own reader, unchanged;
//  - a save that fails, or is answered No, leaves the old file byte for byte;
//  - a write-protected file is never replaced, a name that is not a local path creates nothing;
//  - no temporary file is left behind, whatever happened.
#include <fuzzer/FuzzedDataProvider.h>
#include <sys/resource.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "myfile.h"
#include "paths.h"
#include "record.h"
#include "scratch_dir.h"
#include "signal_stats.h"

namespace {

class TAnswerSeam : public TDialogSeam {
public:
    bool yes = true;
    int asked = 0;
    bool askYesNo(const std::string&, const std::string&, TMsgIcon) override {
        ++asked;
        return yes;
    }
    bool askOkCancel(const std::string&, const std::string&, TMsgIcon) override { return yes; }
    void showMessage(const std::string&, const std::string&, TMsgIcon) override {}
    std::optional<std::string> getSaveFileName(const std::string&, const std::string&) override {
        return std::nullopt;
    }
    std::optional<std::string> getOpenFileName(const std::string&, const std::string&) override {
        return std::nullopt;
    }
    std::optional<int32_t> getColor(int32_t) override { return std::nullopt; }
};

// A name without line ends: the file formats hold one value per line.
std::string LineText(FuzzedDataProvider& in, size_t max) {
    std::string s = in.ConsumeRandomLengthString(max);
    for (char& c : s)
        if (c == '\r' || c == '\n') c = ' ';
    return s;
}

// Settings as the program can hold them: the dialog's lists and flags; the range tests are the
// readers' own.
bool MakeSettings(FuzzedDataProvider& in, TFFTSetting& fft, TFileSetting& file, TADSetting& ad) {
    ad.spsSel = in.ConsumeIntegralInRange<int32_t>(0, 13);
    ad.sinc3 = in.ConsumeBool() ? 1 : 0;
    ad.ch_sel = in.ConsumeIntegralInRange<int32_t>(0, 1);
    file.fSaveDataFile = in.ConsumeBool() ? 1 : 0;
    file.DataFileName = LineText(in, 48);
    file.StartDateTime = LineText(in, 24);
    for (uint8_t* f : {&fft.fWaveGraph, &fft.fSig_Volt, &fft.fWinFuncAdjust, &fft.fDCCut_FFT,
                       &fft.fDCCut_SigGraph, &fft.fLogGraph, &fft.fAbsoGraph})
        *f = in.ConsumeBool() ? 1 : 0;
    fft.index_FreqS = in.ConsumeIntegralInRange<int32_t>(0, 14);
    fft.index_FreqE = in.ConsumeIntegralInRange<int32_t>(0, 14);
    fft.index_dB_max = in.ConsumeIntegralInRange<int32_t>(0, 20);
    fft.index_dB_min = in.ConsumeIntegralInRange<int32_t>(0, 20);
    fft.whichWindowFunc = in.ConsumeIntegralInRange<int32_t>(0, 3);
    for (int32_t* c :
         {&fft.PenColorGraph, &fft.PenColorMainAxis, &fft.PenColorSubAxis, &fft.PenColorRefGraph})
        *c = in.ConsumeIntegral<int32_t>();
    fft.DataCountSel = in.ConsumeIntegralInRange<int32_t>(0, 8);
    fft.DataCountMax = 1024 << in.ConsumeIntegralInRange<int>(0, 8);
    return fft.index_FreqE > fft.index_FreqS && CheckdBRange(fft);
}

// A block: codes from the input (a generator once it runs out), volts either converted as a
// measurement does or any finite floats, as a loaded file may hold them.
void MakeBlock(FuzzedDataProvider& in, const TADSetting& ad, TSignalData& sig) {
    SetBlockRate(sig, ad.spsSel, ad.sinc3); // measured with the fuzzed rate
    sig.ad_dnum = 1024 << in.ConsumeIntegralInRange<int>(0, 2);
    const bool anyVolts = in.ConsumeBool();
    uint32_t x = in.ConsumeIntegral<uint32_t>() | 1u;
    auto next = [&] {
        if (in.remaining_bytes() >= 4) return in.ConsumeIntegral<uint32_t>();
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        return x;
    };
    for (int i = 0; i < sig.ad_dnum; i++)
        sig.pCode[i] = next();
    ConvertCodes(sig);
    if (!anyVolts) return;
    auto finite = [&] {
        float f;
        const uint32_t bits = next();
        std::memcpy(&f, &bits, sizeof f);
        return std::isfinite(f) ? f : 0.0f;
    };
    for (int i = 0; i < sig.ad_dnum; i++)
        sig.pVolt[i] = finite();
    const float d = std::fabs(finite());
    sig.deltaF = d > 0 ? d : 1.0f;
}

struct TFileLimit {
    explicit TFileLimit(std::optional<rlim_t> limit) {
        if (!limit) return;
        if (::getrlimit(RLIMIT_FSIZE, &old_) != 0) return;
        struct rlimit r = old_;
        r.rlim_cur = std::min(*limit, old_.rlim_max);
        active_ = ::setrlimit(RLIMIT_FSIZE, &r) == 0;
    }
    ~TFileLimit() {
        if (active_) ::setrlimit(RLIMIT_FSIZE, &old_);
    }
    TFileLimit(const TFileLimit&) = delete;
    TFileLimit& operator=(const TFileLimit&) = delete;

private:
    struct rlimit old_ {};
    bool active_ = false;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TScratchDir dir;
    static std::unique_ptr<TMeasureRecord> rec = TMeasureRecord::Create();
    static std::vector<uint32_t> backCodes(MAX_DATA_COUNT);
    static std::vector<float> backVolts(MAX_DATA_COUNT);
    FuzzedDataProvider in(data, size);
    dir.Clear();

    const bool dataFile = in.ConsumeBool();
    TFFTSetting fft;
    TFileSetting file;
    TADSetting ad;
    if (!MakeSettings(in, fft, file, ad)) return 0;
    // The settings block of our own, in range (the band any pair the reader takes).
    TExtSetting ext;
    ext.spectrumScale = in.ConsumeIntegralInRange<int32_t>(0, 2);
    ext.freqAuto = in.ConsumeBool() ? 1 : 0;
    ext.continuous = in.ConsumeBool() ? 1 : 0;
    ext.averageMode = in.ConsumeIntegralInRange<int32_t>(0, 3);
    ext.averageCount = in.ConsumeIntegralInRange<int32_t>(1, 1024);
    if (in.ConsumeBool()) {
        ext.bandLowHz = in.ConsumeFloatingPointInRange<double>(0.0, 4999.0);
        ext.bandHighHz = in.ConsumeFloatingPointInRange<double>(ext.bandLowHz, 5000.0);
        if (ext.bandHighHz <= ext.bandLowHz) ext.bandHighHz = 5000.0;
    }

    // Where the save goes and what is there already.
    const std::string plainName = dataFile ? "d.DTA" : "s.prf";
    std::string target = dir / plainName; // as the program names it
    std::string realFile = plainName;     // the file in the folder that the save replaces
    const int where = in.ConsumeIntegralInRange(0, 3);
    if (where == 1) {
        target = plainName; // relative to the working folder
    } else if (where == 2) {
        // A symbolic link: the file it leads to is replaced, the link stays.
        realFile = "real-" + plainName;
        FUZZ_CHECK(::symlink(realFile.c_str(), (dir / plainName).c_str()) == 0);
    } else if (where == 3) {
        // Any name, never leading out of the folder.
        target = LineText(in, 24);
        for (char& c : target)
            if (c == '/') c = '_';
        if (target == "." || target == "..") target += "x";
        realFile = target;
    }
    const bool usable = IsUsableLocalPath(target) && !realFile.empty();
    // A link always leads to a file here: a dangling one may be replaced by the save.
    const bool existed = usable && (in.ConsumeBool() || where == 2);
    bool writeProtected = false;
    const std::string oldBytes = in.ConsumeRandomLengthString(64);
    if (existed) {
        const std::string p = dir / realFile;
        FILE* f = std::fopen(p.c_str(), "wb");
        if (f == nullptr) return 0; // a name this file system cannot hold
        std::fwrite(oldBytes.data(), 1, oldBytes.size(), f);
        std::fclose(f);
        writeProtected = in.ConsumeBool();
        if (writeProtected) ::chmod(p.c_str(), 0444);
    }
    std::optional<rlim_t> limit;
    if (in.ConsumeBool()) limit = in.ConsumeIntegralInRange<rlim_t>(0, 200000);
    TAnswerSeam seam;
    seam.yes = in.ConsumeBool();

    TSignalData sig;
    sig.pCode = rec->CodeBuf.data();
    sig.pVolt = rec->VoltBuf.data();
    if (dataFile) {
        MakeBlock(in, ad, sig);
        file.DataFileName = target;
    }

    const std::set<std::string> before = dir.Names();
    bool ok;
    {
        TScratchDir::Here here(dir);
        TFileLimit fsize(limit);
        TmyFile writer(&seam);
        ok = dataFile ? writer.WriteDTA(DTA_HEADER, &ad, &sig, &fft, &file, &ext)
                      : writer.WritePrf(target, PRF_HEADER, &fft, &file, &ad, &ext);
    }
    const std::set<std::string> after = dir.Names();
    const std::string nowBytes = FileBytes(dir / realFile);

    // Nothing but the target may appear: no temporary file, no file named after the whole text
    // of a name that is not a path here.
    std::set<std::string> allowed = before;
    if (usable) allowed.insert(realFile);
    for (const std::string& n : after)
        FUZZ_CHECK(allowed.count(n) == 1);
    if (!usable) FUZZ_CHECK(!ok && after == before);
    if (where == 2) {
        struct stat st {};
        FUZZ_CHECK(::lstat((dir / plainName).c_str(), &st) == 0 && S_ISLNK(st.st_mode));
    }

    const bool declined = seam.asked > 0 && !seam.yes;
    if (existed && (writeProtected || declined || !ok)) {
        FUZZ_CHECK(nowBytes == oldBytes);
        if (writeProtected) FUZZ_CHECK(!ok);
        return 0;
    }
    if (!ok) {
        FUZZ_CHECK(after == before);
        return 0;
    }
    // A save that reports success without a file, or with one the reader refuses, lost data.
    TFFTSetting fft2;
    TFileSetting file2;
    TADSetting ad2;
    TExtSetting ext2;
    TmyFile reader;
    const std::string path = dir / realFile;
    if (!dataFile) {
        FUZZ_CHECK(reader.ReadPrf(path, PRF_HEADER, &fft2, &file2, &ad2, &ext2));
        FUZZ_CHECK(fft2 == fft && file2 == file && ad2 == ad && ext2 == ext);
        return 0;
    }
    TSignalData back;
    back.pCode = backCodes.data();
    back.pVolt = backVolts.data();
    FUZZ_CHECK(reader.ReadDTA(path, DTA_HEADER, &back, &fft2, &file2, &ad2, &ext2));
    FUZZ_CHECK(fft2 == fft && file2 == file && ad2 == ad && ext2 == ext);
    FUZZ_CHECK(back.ad_dnum == sig.ad_dnum && back.deltaF == sig.deltaF);
    const size_t n = static_cast<size_t>(sig.ad_dnum);
    FUZZ_CHECK(std::memcmp(back.pCode, sig.pCode, n * sizeof(uint32_t)) == 0);
    for (size_t i = 0; i < n; i++)
        FUZZ_CHECK(back.pVolt[i] == sig.pVolt[i]);
    return 0;
}
