// A recording file's sample lines as a reader from outside would take them: after the column
// line, "time_s,code,volts" per line. Written here from the file format, not with the
// program's own reader.
#pragma once

#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

struct TRecordingRow {
    double t;
    uint32_t code;
    double v;
};

// wholeLines (when given) tells whether the text ends in CR LF, every line does, and every
// sample line parses; a line that does not parse is left out.
inline std::vector<TRecordingRow> RecordingRows(const std::string& text,
                                                bool* wholeLines = nullptr) {
    std::vector<TRecordingRow> rows;
    bool whole = text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0;
    std::istringstream in(text);
    std::string line;
    bool body = false;
    while (std::getline(in, line)) {
        if (line.empty() || line.back() != '\r') whole = false;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!body) {
            body = line == "time_s,code,volts";
            continue;
        }
        TRecordingRow r{};
        unsigned long long c = 0;
        if (std::sscanf(line.c_str(), "%lf,%llu,%lf", &r.t, &c, &r.v) != 3) {
            whole = false;
            continue;
        }
        r.code = static_cast<uint32_t>(c);
        rows.push_back(r);
    }
    if (wholeLines) *wholeLines = whole;
    return rows;
}
