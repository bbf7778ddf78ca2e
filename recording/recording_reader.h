// Reading a recording back: its header and the codes of a time range, for analysing a stretch
// of a long recording as one block. The file is read line by line; only the codes asked for
// are kept, so a recording of any length can be read.
#pragma once

#include "recording_writer.h"

#include <cstdint>
#include <string>
#include <vector>

struct TRecordingRange {
    double fromS = 0.0;    // first time taken (seconds, the file's time column)
    double toS = -1.0;     // end of the range, exclusive; below fromS: to the end
    size_t maxSamples = 0; // at most this many codes (0: no limit)
};

struct TRecordingContent {
    TRecordingHeader header;
    std::vector<uint32_t> codes; // of the range, in file order
    uint64_t linesInFile = 0;    // sample lines in the whole file
    bool truncated = false;      // the range held more than maxSamples
};

// False with a reason in error when the file cannot be opened, has no Kalvex recording
// header, or holds a line that is not "time,code,volts" (a last line without its line end, as
// a killed writer never leaves but a copy might, is skipped).
bool ReadRecording(const std::string& path, const TRecordingRange& range, TRecordingContent& out,
                   std::string& error);
