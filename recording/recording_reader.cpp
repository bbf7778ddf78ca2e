#include "recording_reader.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <memory>

#include <sys/stat.h>

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

bool ParseDouble(const char* b, const char* e, double& v) {
    const auto r = std::from_chars(b, e, v);
    return r.ec == std::errc() && r.ptr == e;
}

// "# key: value" into the header.
void HeaderLine(const std::string& line, TRecordingHeader& h) {
    const size_t colon = line.find(": ");
    if (line.size() < 2 || colon == std::string::npos) return;
    const std::string key = line.substr(2, colon - 2);
    const std::string value = line.substr(colon + 2);
    if (key == "unit")
        h.unit = value;
    else if (key == "version")
        h.version = value;
    else if (key == "rate")
        h.rateText = value;
    else if (key == "filter")
        h.filter = value;
    else if (key == "channel")
        h.channel = value;
    else if (key == "start")
        h.startTime = value;
    else if (key == "period_ms") {
        double v = 0.0;
        if (ParseDouble(value.data(), value.data() + value.size(), v)) h.periodMs = v;
    }
}

} // namespace

bool ReadRecording(const std::string& path, const TRecordingRange& range, TRecordingContent& out,
                   std::string& error) {
    out = {};
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        error = std::strerror(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        error = "not a regular file";
        return false;
    }
    std::unique_ptr<std::FILE, FileCloser> f(std::fopen(path.c_str(), "rb"));
    if (!f) {
        error = std::strerror(errno);
        return false;
    }
    std::string line;
    bool first = true, body = false;
    uint64_t lineNo = 0;
    char buf[1 << 16];
    std::string pending;
    size_t got = 0;
    const bool toEnd = range.toS < range.fromS;
    while ((got = std::fread(buf, 1, sizeof buf, f.get())) > 0) {
        pending.append(buf, got);
        size_t start = 0;
        for (;;) {
            const size_t nl = pending.find('\n', start);
            if (nl == std::string::npos) break;
            size_t end = nl;
            if (end > start && pending[end - 1] == '\r') --end;
            line.assign(pending, start, end - start);
            start = nl + 1;
            ++lineNo;
            if (first) {
                first = false;
                if (line != "# Kalvex recording") {
                    error = "not a Kalvex recording";
                    return false;
                }
                continue;
            }
            if (!body) {
                if (line == "time_s,code,volts") {
                    body = true;
                    if (!(out.header.periodMs > 0.0)) {
                        error = "no sample period in the header";
                        return false;
                    }
                } else if (line.rfind("# ", 0) == 0) {
                    HeaderLine(line, out.header);
                } else {
                    error = "line " + std::to_string(lineNo) + ": not a header line";
                    return false;
                }
                continue;
            }
            const char* b = line.data();
            const char* e = b + line.size();
            const char* c1 = static_cast<const char*>(std::memchr(b, ',', line.size()));
            const char* c2 =
                c1 ? static_cast<const char*>(std::memchr(c1 + 1, ',', e - c1 - 1)) : nullptr;
            double t = 0.0, v = 0.0;
            uint32_t code = 0;
            const auto rc = c2 ? std::from_chars(c1 + 1, c2, code) : std::from_chars_result{};
            if (!c2 || !ParseDouble(b, c1, t) || rc.ec != std::errc() || rc.ptr != c2 ||
                !ParseDouble(c2 + 1, e, v)) {
                error = "line " + std::to_string(lineNo) + ": not time,code,volts";
                return false;
            }
            ++out.linesInFile;
            if (t < range.fromS || (!toEnd && t >= range.toS)) continue;
            if (range.maxSamples && out.codes.size() >= range.maxSamples) {
                out.truncated = true;
                continue;
            }
            out.codes.push_back(code);
        }
        pending.erase(0, start);
    }
    if (std::ferror(f.get())) {
        error = std::strerror(errno);
        return false;
    }
    if (first) {
        error = "empty file";
        return false;
    }
    if (!body) {
        error = "no column line";
        return false;
    }
    return true;
}
