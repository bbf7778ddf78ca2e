// TmyFile: settings files (.prf), measurement data files (.DTA) and FFT result files (.FFT).
//
// Lines are written with CR LF and read with every CR and LF removed. Writers build the whole
// file in memory, write it to a temporary file in the target's folder, flush it to the disk and
// rename it over the target, so a failed save never destroys an existing file; a name that is
// no path here, a write-protected file or anything but a regular file is never written.
// Readers read only regular files, into scratch copies; the caller's records change only when
// the whole read succeeds.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "dialog_seam.h"
#include "record.h"

// Headers the program passes.
inline constexpr const char* PRF_HEADER = "Kalvexini";
inline constexpr const char* DTA_HEADER = "DataFile:Kalvex";
inline constexpr const char* FFT_HEADER = "DataFile:Kalvex_FFT";

// Largest file a reader accepts; a full 262144-sample data file is about 9 MB.
inline constexpr size_t MAX_READ_FILE_BYTES = 64u << 20;

// A whole text file held in memory, read line by line.
class TLineReader {
public:
    explicit TLineReader(std::string text) : buf_(std::move(text)) {}
    // The next raw line without its LF; false at the end.
    bool NextRaw(std::string_view& line);
    // Everything not read yet, and a step over part of it (for readers that scan lines in
    // place).
    std::string_view Rest() const { return std::string_view(buf_).substr(pos_); }
    void Skip(size_t n) { pos_ = std::min(buf_.size(), pos_ + n); }

private:
    std::string buf_;
    size_t pos_ = 0;
};

// The text of a file being written.
class TTextWriter {
public:
    TTextWriter() { buf_.reserve(1 << 16); }
    void Line(std::string_view text); // text + CR LF
    void KeyLine(std::string_view key, std::string_view value);
    void KeyLine(std::string_view key, long long value);
    std::string& Buffer() { return buf_; }

private:
    std::string buf_;
};

// Reads a whole regular file (at most MAX_READ_FILE_BYTES) into text; false when it cannot be
// read. Anything else (FIFO, device, folder, socket) is refused without waiting on it.
bool ReadWholeFile(const std::string& path, std::string& text);
// Replaces path by text atomically: temporary file, write, fsync, rename. False on any error,
// with the old file (if any) untouched and no temporary file left; a file-size limit gives
// false, never SIGXFSZ. Refused up front unless SaveTargetAllowed(path).
bool WriteFileAtomic(const std::string& path, std::string_view text);
// Whether a save may write path: IsUsableLocalPath (core/paths.h), and what is there already
// (after symbolic links) is a regular file that is not write-protected (no write bit in its
// mode, which also holds for root, or no write access for us).
bool SaveTargetAllowed(const std::string& path);
// SaveTargetAllowed, and the folder the save goes to exists and lets us create files in it
// (where the temporary file goes). For choosing where a file can be saved before saving.
bool CanSaveFile(const std::string& path);
bool FileExists(const std::string& path);

class TmyFile {
public:
    // The seam answers the overwrite question; without one an existing file is never replaced
    // by WriteDTA / WriteFFT (the question counts as answered No).
    explicit TmyFile(TDialogSeam* seam = nullptr) : seam_(seam) {}

    // Settings file.
    // ext, when given, is written as section "X:" after "GEND:" and read from there; a file
    // without that section leaves *ext as it was. Without ext no "X:" is written or read.
    bool WritePrf(const std::string& fileName, const std::string& header, const TFFTSetting* fft,
                  const TFileSetting* file, const TADSetting* ad, const TExtSetting* ext = nullptr);
    bool ReadPrf(const std::string& fileName, const std::string& header, TFFTSetting* fft,
                 TFileSetting* file, TADSetting* ad, TExtSetting* ext = nullptr);

    // Data file, written to file->DataFileName (false, without a question, when
    // SaveTargetAllowed refuses it). On reading, the samples go to the arrays that
    // sig's pointers lead to (at least MAX_DATA_COUNT entries each), all only on success.
    // ext as in WritePrf / ReadPrf, its section after "END:".
    bool WriteDTA(const std::string& header, const TADSetting* ad, const TSignalData* sig,
                  const TFFTSetting* fft, const TFileSetting* file,
                  const TExtSetting* ext = nullptr);
    bool ReadDTA(const std::string& fileName, const std::string& header, TSignalData* sig,
                 TFFTSetting* fft, TFileSetting* file, TADSetting* ad, TExtSetting* ext = nullptr);

    // FFT result file, written to file->DataFileName; refused as WriteDTA refuses. With ext
    // and a spectrum scale other than 0, the "FFT:" section names the scale and the unit of
    // its values ("scale:" and "unit:" after "deltaF:"); otherwise the file is as it always was.
    bool WriteFFT(const std::string& header, const TADSetting* ad, const TSignalData* sig,
                  const TFFTSetting* fft, const TFileSetting* file,
                  const TExtSetting* ext = nullptr);

    // The next meaningful line: comment lines (";" first) are skipped, CR and LF removed.
    static bool ReadLine(TLineReader& in, std::string& line);
    // Key up to and including the first colon, and the rest; no colon: empty key, whole line.
    static void SplitKey(std::string_view line, std::string_view& key, std::string_view& value);

    static bool WriteADSection(TTextWriter& out, const TADSetting* s);
    static bool WriteFileSection(TTextWriter& out, const TFileSetting* s);
    static bool WriteFFTSettingSection(TTextWriter& out, const TFFTSetting* s);
    static bool ReadADSection(TLineReader& in, TADSetting* s);
    static bool ReadFileSection(TLineReader& in, TFileSetting* s);
    // Keys may come in any order: the frequency pair (index_FreqS < index_FreqE) and the dB
    // range (CheckdBRange) are judged on the whole section, so whatever is accepted reads back
    // after the writer puts it in its own order.
    static bool ReadFFTSettingSection(TLineReader& in, TFFTSetting* s);
    // Section "X:" .. "XEND:". The reader looks for "X:" among the lines that follow: none
    // (the file ends first) keeps *s and succeeds. Keys in any order, unknown keys skipped,
    // missing keys keep *s; a bad or out-of-range value (CheckExtSetting on the whole section)
    // or a missing "XEND:" fails. On failure *s is unchanged.
    static bool WriteExtSection(TTextWriter& out, const TExtSetting* s);
    static bool ReadExtSection(TLineReader& in, TExtSetting* s);

    // "D:" section. ReadDataSection fills sig's arrays directly: callers that must keep their
    // data on failure pass scratch arrays (ReadDTA does).
    static bool WriteDataSection(TTextWriter& out, const TSignalData* sig);
    static bool ReadDataSection(TLineReader& in, TSignalData* sig);
    // "FFT:" section.
    // spectrumScale (TExtSetting) 1 and 2 add the "scale:" and "unit:" lines.
    static bool WriteSpectrumSection(TTextWriter& out, const TSignalData* sig,
                                     int32_t spectrumScale = 0);

    static uint32_t DecStrToCode(std::string_view text);
    static int DigitValue(char c);

    // "ファイル：<path>があります。\n上書きしますか" with Yes and No; true for Yes.
    bool ConfirmOverwrite(const std::string& path);

private:
    TDialogSeam* seam_;
};
