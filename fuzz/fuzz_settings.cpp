// Settings file reader: any bytes must give true or false, never a crash; a successful read
// must survive being written and read again unchanged, and what the window then draws and
// shows from the settings must stay bounded.
#include "display_chain.h"
#include "ext_setting.h"
#include "fuzz_check.h"
#include "mem_file.h"
#include "myfile.h"

#include <cstdlib>

namespace {

// Writes the three sections the way WritePrf does and reads them back.
void CheckRoundTrip(const TFFTSetting& fft, const TFileSetting& file, const TADSetting& ad) {
    TTextWriter out;
    out.Line(PRF_HEADER);
    TmyFile::WriteADSection(out, &ad);
    TmyFile::WriteFileSection(out, &file);
    TmyFile::WriteFFTSettingSection(out, &fft);
    TLineReader in(out.Buffer());
    std::string line;
    TFFTSetting fft2{};
    TFileSetting file2{};
    TADSetting ad2{};
    const bool ok = TmyFile::ReadLine(in, line) && line == PRF_HEADER &&
                    TmyFile::ReadADSection(in, &ad2) && TmyFile::ReadFileSection(in, &file2) &&
                    TmyFile::ReadFFTSettingSection(in, &fft2);
    FUZZ_CHECK(ok && fft2 == fft && file2 == file && ad2 == ad);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TMemFile mem;
    mem.Set(data, size);

    TFFTSetting fft;
    TFileSetting file;
    TADSetting ad;
    TExtSetting ext;
    const TFFTSetting fft0 = fft;
    const TFileSetting file0 = file;
    const TADSetting ad0 = ad;
    const TExtSetting ext0 = ext;
    TmyFile f;
    if (!f.ReadPrf(mem.Path(), PRF_HEADER, &fft, &file, &ad, &ext)) {
        // A failed read leaves every record as it was.
        FUZZ_CHECK(fft == fft0 && file == file0 && ad == ad0 && ext == ext0);
        return 0;
    }
    // What the reader took is in range and reads back after the writer.
    FUZZ_CHECK(CheckExtSetting(ext));
    {
        TTextWriter out;
        TmyFile::WriteExtSection(out, &ext);
        TLineReader back(out.Buffer());
        TExtSetting ext2{};
        ext2.averageCount = 3;
        FUZZ_CHECK(TmyFile::ReadExtSection(back, &ext2) && ext2 == ext);
    }
    if (!KnownFault("freq-order") || fft.index_FreqE > fft.index_FreqS)
        CheckRoundTrip(fft, file, ad);
    // The reader range-checks the dB indices for every path that takes them (settings load,
    // init file, data load, kalvex-cli); the graphs then draw from what it accepted.
    if (!chain::Accepted(fft)) {
        FUZZ_CHECK(KnownFault("reader-db-range"));
        return 0;
    }
    chain::CheckSettingsViews(fft, ad);
    return 0;
}
