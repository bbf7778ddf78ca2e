// kalvex-cli's arguments. The input is one byte of switches and then the arguments, one per
// line; they run in a scratch folder that holds small data and settings files (good ones, bad
// ones, dB indices at and far beyond the dial's ends, a FIFO, a folder, a link, a Shift-JIS
// name, a write-protected file), so that names can be valid. Names never lead out of that
// folder, and `measure` only ever finds a unit whose link is down. Checks:
//  - the exit code is one of the documented ones; a failure says something, a success prints;
//  - JSON output parses (UTF-8 included) and has every documented key;
//  - the dB readout lies on the dB axis;
//  - no input is ever changed; only the named FFT file may be written, and only on success;
//  - no temporary file is left behind;
//  - a standard output that cannot be written is never a success.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <climits>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli.h"
#include "d2xx/d2xx_virtual.h"
#include "fuzz_check.h"
#include "myfile.h"
#include "record.h"
#include "scratch_dir.h"
#include "signal_stats.h"

namespace {

// The only device `measure` may find: a link that is down from the start, so the command's
// arguments and failure path run without any real or simulated unit being opened.
class TNoUnit : public d2xx::TVirtualDevice {
public:
    void HostWrite(const uint8_t*, size_t) override {}
    void Collect(std::string&) override {}
    bool Connected() const override { return false; }
};

// A stream buffer that refuses every byte, as a full disk does.
class TFullBuf : public std::streambuf {
protected:
    int_type overflow(int_type) override { return traits_type::eof(); }
    std::streamsize xsputn(const char*, std::streamsize) override { return 0; }
};

const char* const kSjisName = "\x8c\x76\x91\xaa.DTA"; // "計測.DTA" in Shift-JIS

// The documented JSON keys of `analyze`.
const char* const kJsonKeys[] = {
    "file",         "samples",      "rate_text",    "delta_f",          "status_text",
    "rms_text",     "rms_unit",     "peak_bin",     "peak_volt_text",   "peak_volt_unit",
    "peak_db_text", "peak_db_unit", "peak_hz_text", "level_stats_mode", "level_stats_text",
    "code_max",     "code_min",     "code_stddev",  "fft_file"};

struct TFixtures {
    std::map<std::string, std::string> files; // regular files: name -> content
    std::string protectedName = "ro.FFT";
};

// The file contents, made once with the program's own writers.
const TFixtures& Fixtures(const TScratchDir& dir) {
    static const TFixtures fx = [&dir] {
        TFixtures f;
        auto rec = TMeasureRecord::Create();
        TADSetting ad;
        TFFTSetting fft;
        TFileSetting file;
        SetDefaultADSetting(ad);
        SetDefaultFFTSetting(fft, file);
        fft.DataCountSel = 0;
        fft.DataCountMax = 1024;
        TSignalData& sig = rec->SigData;
        sig.ad_dnum = 1024;
        for (int i = 0; i < sig.ad_dnum; i++)
            sig.pCode[i] = static_cast<uint32_t>(
                2147483648.0 + 1e9 * std::sin(2 * M_PI * 50 * i / 1024.0) + (i % 7) * 1000);
        ConvertCodes(sig);
        TmyFile w;
        file.DataFileName = dir / "d.DTA";
        FUZZ_CHECK(w.WriteDTA(DTA_HEADER, &ad, &sig, &fft, &file));
        f.files["d.DTA"] = FileBytes(file.DataFileName);
        f.files[kSjisName] = f.files["d.DTA"];
        sig.pCode[100] = 0xFFFFFFFFu; // a code at the end of the range
        ConvertCodes(sig);
        file.DataFileName = dir / "full.DTA";
        FUZZ_CHECK(w.WriteDTA(DTA_HEADER, &ad, &sig, &fft, &file));
        f.files["full.DTA"] = FileBytes(file.DataFileName);
        fft.fAbsoGraph = 0;
        fft.index_dB_max = 2;
        fft.whichWindowFunc = 3;
        FUZZ_CHECK(w.WritePrf(dir / "s.prf", PRF_HEADER, &fft, &file, &ad));
        f.files["s.prf"] = FileBytes(dir / "s.prf");
        // dB indices at the dial's ends, and far beyond them (they must be refused).
        fft.fAbsoGraph = 1;
        fft.index_dB_max = 0;
        fft.index_dB_min = 20;
        FUZZ_CHECK(w.WritePrf(dir / "wide.prf", PRF_HEADER, &fft, &file, &ad));
        f.files["wide.prf"] = FileBytes(dir / "wide.prf");
        fft.index_dB_min = INT32_MAX;
        FUZZ_CHECK(w.WritePrf(dir / "huge.prf", PRF_HEADER, &fft, &file, &ad));
        f.files["huge.prf"] = FileBytes(dir / "huge.prf");
        sig.pCode[100] = sig.pCode[99];
        ConvertCodes(sig);
        file.DataFileName = dir / "huge.DTA";
        FUZZ_CHECK(w.WriteDTA(DTA_HEADER, &ad, &sig, &fft, &file));
        f.files["huge.DTA"] = FileBytes(file.DataFileName);
        f.files["bad.DTA"] = "DataFile:Kalvex\r\nA:\r\nspsSel:99\r\n";
        f.files["bad.prf"] = "Kalvexini\r\nA:\r\n";
        f.files[f.protectedName] = "kept\r\n";
        dir.Clear();
        return f;
    }();
    return fx;
}

void Lay(const TScratchDir& dir, const TFixtures& fx) {
    dir.Clear();
    for (const auto& [name, bytes] : fx.files) {
        FILE* f = std::fopen((dir / name).c_str(), "wb");
        FUZZ_CHECK(f != nullptr);
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    ::chmod((dir / fx.protectedName).c_str(), 0444);
    FUZZ_CHECK(::mkfifo((dir / "fifo.DTA").c_str(), 0600) == 0);
    FUZZ_CHECK(::mkdir((dir / "dir.DTA").c_str(), 0700) == 0);
    FUZZ_CHECK(::symlink("d.DTA", (dir / "link.DTA").c_str()) == 0);
}

// An argument as given, unless it could name something outside the scratch folder: then its
// slashes go. A slash may only follow a name character ("./d.DTA", "dir.DTA/x").
std::string Confined(std::string a) {
    auto nameChar = [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' || c == '-';
    };
    bool escape = a.find("..") != std::string::npos;
    for (size_t i = 0; i < a.size(); i++)
        if (a[i] == '/' && (i == 0 || !nameChar(a[i - 1]))) escape = true;
    if (escape)
        for (char& c : a)
            if (c == '/') c = '_';
    return a;
}

std::string Real(const TScratchDir& dir, const std::string& name) {
    const std::string p = name.empty() || name[0] != '/' ? dir / name : name;
    char* r = ::realpath(p.c_str(), nullptr);
    if (r == nullptr) return {};
    std::string s = r;
    std::free(r);
    return s;
}

// The data file and the FFT file a successful run names in its output.
void NamedFiles(const std::string& out, std::string& data, std::string& fft) {
    if (!out.empty() && out[0] == '{') {
        nlohmann::json j;
        try {
            j = nlohmann::json::parse(out); // strict: invalid UTF-8 is an error too
        } catch (const nlohmann::json::exception& e) {
            std::fprintf(stderr, "JSON output does not parse: %s\n", e.what());
            std::abort();
        }
        for (const char* k : kJsonKeys)
            FUZZ_CHECK(j.contains(k));
        FUZZ_CHECK(j["samples"].get<int>() == 1024);
        // The dB readout lies on the dB axis: the floor is -180 dB at the lowest, and the
        // converter's range keeps every line below +20 dBV (0 dB when relative).
        const double dB = std::strtod(j["peak_db_text"].get<std::string>().c_str(), nullptr);
        FUZZ_CHECK(dB >= -180.005 && dB <= (j["peak_db_unit"] == "dB" ? 0.005 : 20.0));
        data = j["file"].get<std::string>();
        if (!j["fft_file"].is_null()) fft = j["fft_file"].get<std::string>();
        return;
    }
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("file: ", 0) == 0) data = line.substr(6);
        if (line.rfind("fft_file: ", 0) == 0) fft = line.substr(10);
        if (line.rfind("peak_db: ", 0) == 0) {
            const double dB = std::strtod(line.c_str() + 9, nullptr);
            const bool relative = line.size() >= 3 && line.compare(line.size() - 3, 3, " dB") == 0;
            FUZZ_CHECK(dB >= -180.005 && dB <= (relative ? 0.005 : 20.0));
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TScratchDir dir;
    static const bool attached = [] {
        d2xx::AttachVirtualDevice(std::make_shared<TNoUnit>());
        return true;
    }();
    FUZZ_CHECK(attached);
    const TFixtures& fx = Fixtures(dir);
    if (size == 0) return 0;
    const bool fullOut = (data[0] & 1) != 0;
    std::vector<std::string> args;
    std::string cur;
    for (size_t i = 1; i < size; i++) {
        if (data[i] == '\n') {
            args.push_back(Confined(cur));
            cur.clear();
            if (args.size() > 16) return 0;
        } else {
            cur += static_cast<char>(data[i]);
        }
    }
    args.push_back(Confined(cur));

    Lay(dir, fx);
    const std::set<std::string> before = dir.Names();
    std::ostringstream out, err;
    TFullBuf full;
    std::ostream fullStream(&full);
    int code;
    {
        TScratchDir::Here here(dir);
        code = RunKalvexCli(args, fullOut ? fullStream : static_cast<std::ostream&>(out), err);
    }

    // The documented codes: 0..7, and 10..13 for the unit (measure).
    FUZZ_CHECK((code >= 0 && code <= 7) || (code >= 10 && code <= 13));
    if (code != 0)
        FUZZ_CHECK(!err.str().empty() || (code == 6 && KnownFault("cli-help-write-error")));
    if (code == 2)
        FUZZ_CHECK(err.str().find("usage:") != std::string::npos || KnownFault("cli-usage-text"));
    if (fullOut) FUZZ_CHECK(code != 0 || KnownFault("cli-output-error"));
    if (code == 0 && !fullOut) FUZZ_CHECK(!out.str().empty());

    // What the run wrote.
    std::string dataName, fftName;
    if (code == 0 && !fullOut) NamedFiles(out.str(), dataName, fftName);
    const std::string fftReal = fftName.empty() ? std::string() : Real(dir, fftName);
    if (!dataName.empty() && !fftReal.empty()) FUZZ_CHECK(Real(dir, dataName) != fftReal);
    // JSON shows a name that is not UTF-8 with replacement characters: then fftReal is empty
    // and only the kind of file written can be checked.
    const bool mayWrite = (code == 0 && !fftName.empty()) || (code == 6 && fullOut);
    auto isFFTFile = [](const std::string& bytes) {
        return bytes.rfind("DataFile:Kalvex_FFT\r\n", 0) == 0;
    };
    for (const auto& [name, bytes] : fx.files) {
        const std::string now = FileBytes(dir / name);
        if (now == bytes) continue;
        // Only the export's target may change, and then it holds the export.
        FUZZ_CHECK(mayWrite && name != fx.protectedName && isFFTFile(now));
        if (!fftReal.empty()) FUZZ_CHECK(Real(dir, name) == fftReal);
    }
    for (const std::string& n : dir.Names()) {
        if (before.count(n) != 0) continue;
        FUZZ_CHECK(mayWrite && isFFTFile(FileBytes(dir / n)));
        if (!fftReal.empty()) FUZZ_CHECK(Real(dir, n) == fftReal);
    }
    struct stat st {};
    FUZZ_CHECK(::lstat((dir / "link.DTA").c_str(), &st) == 0 && S_ISLNK(st.st_mode));
    return 0;
}
