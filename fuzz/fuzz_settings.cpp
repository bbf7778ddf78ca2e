// Settings file reader: any bytes must give true or false, never a crash, and a successful read
// must survive being written and read again unchanged.
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
    if (!ok || !(fft2 == fft) || !(file2 == file) || !(ad2 == ad)) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TMemFile mem;
    mem.Set(data, size);

    TFFTSetting fft;
    TFileSetting file;
    TADSetting ad;
    const TFFTSetting fft0 = fft;
    const TFileSetting file0 = file;
    const TADSetting ad0 = ad;
    TmyFile f;
    if (!f.ReadPrf(mem.Path(), PRF_HEADER, &fft, &file, &ad)) {
        // A failed read leaves every record as it was.
        if (!(fft == fft0) || !(file == file0) || !(ad == ad0)) std::abort();
        return 0;
    }
    // The end index is checked against the start index read so far, so a file that lists the
    // end first may hold an order the writer's order would reject: that is accepted as read.
    if (fft.index_FreqE > fft.index_FreqS) CheckRoundTrip(fft, file, ad);
    return 0;
}
