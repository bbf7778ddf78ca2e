#include "recording_writer.h"

#include "tables.h"

#include <cerrno>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr size_t kFlushBytes = 1u << 20; // a full buffer goes out before the second is up

int64_t SteadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void AppendFixed(std::string& out, double v, int decimals) {
    char tmp[64];
    const auto r = std::to_chars(tmp, tmp + sizeof tmp, v, std::chars_format::fixed, decimals);
    out.append(tmp, r.ptr);
}

void AppendLine(std::string& out, uint64_t index, double periodS, uint32_t code, double runStartS) {
    // Time from the sample index in its run, so that it never drifts over a long run.
    AppendFixed(out, runStartS + static_cast<double>(index) * periodS, 6);
    out += ',';
    char tmp[16];
    const auto r = std::to_chars(tmp, tmp + sizeof tmp, code);
    out.append(tmp, r.ptr);
    out += ',';
    AppendFixed(out, (static_cast<double>(code) - CODE_OF_ZERO_VOLT) * VOLT_PER_CODE, 10);
}

} // namespace

std::string RecordingLine(uint64_t index, double periodS, uint32_t code, double runStartS) {
    std::string s;
    AppendLine(s, index, periodS, code, runStartS);
    return s;
}

TRecordingWriter::~TRecordingWriter() {
    Close();
}

bool TRecordingWriter::Fail(const std::string& why) {
    fFailed = true;
    if (Err.empty()) Err = why;
    return false;
}

bool TRecordingWriter::Open(const std::string& path, const TRecordingHeader& h) {
    Close();
    fFailed = false;
    Err.clear();
    Index = Written = Pending = 0;
    RunFirst = 0;
    RunStartS = 0.0;
    GoodSize = 0;
    Buf.clear();
    if (!(h.periodMs > 0.0)) return Fail("no sample period");
    // A file-size limit must fail the write, not end the program.
    std::signal(SIGXFSZ, SIG_IGN);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
    struct stat st {};
    if (fd < 0) {
        const int e = errno;
        // A FIFO without a reader answers ENXIO, a folder EISDIR: name what it is.
        if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
            return Fail(path + ": not a regular file");
        return Fail(path + ": " + std::strerror(e));
    }
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return Fail(path + ": not a regular file");
    }
    if (ftruncate(fd, 0) != 0 || fcntl(fd, F_SETFL, 0) != 0) {
        const std::string why = std::strerror(errno);
        ::close(fd);
        return Fail(path + ": " + why);
    }
    Fd = fd;
    PeriodS = h.periodMs / 1000.0;
    Buf = "# Kalvex recording\r\n";
    Buf += "# unit: " + h.unit + "\r\n";
    Buf += "# version: " + h.version + "\r\n";
    Buf += "# rate: " + h.rateText + "\r\n";
    Buf += "# filter: " + h.filter + "\r\n";
    Buf += "# channel: " + h.channel + "\r\n";
    Buf += "# start: " + h.startTime + "\r\n";
    Buf += "# period_ms: ";
    char tmp[64];
    const auto r = std::to_chars(tmp, tmp + sizeof tmp, h.periodMs);
    Buf.append(tmp, r.ptr);
    Buf += "\r\ntime_s,code,volts\r\n";
    LastFlushMs = NowMs ? NowMs() : SteadyMs();
    return Flush();
}

bool TRecordingWriter::Append(const uint32_t* codes, int n) {
    if (Fd < 0 || fFailed) return false;
    for (int i = 0; i < n; ++i) {
        AppendLine(Buf, Index - RunFirst, PeriodS, codes[i], RunStartS);
        ++Index;
        Buf += "\r\n";
    }
    Pending += static_cast<uint64_t>(n);
    const int64_t now = NowMs ? NowMs() : SteadyMs();
    if (now - LastFlushMs >= 1000 || Buf.size() >= kFlushBytes) {
        LastFlushMs = now;
        return Flush();
    }
    return true;
}

void TRecordingWriter::StartRun(double startS) {
    RunFirst = Index;
    RunStartS = startS;
}

bool TRecordingWriter::WriteOut() {
    size_t done = 0;
    while (done < Buf.size()) {
        const ssize_t w = ::write(Fd, Buf.data() + done, Buf.size() - done);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
            const std::string why = w < 0 ? std::strerror(errno) : "nothing written";
            // Back to the last whole line, so the file stays readable.
            if (ftruncate(Fd, GoodSize) == 0) lseek(Fd, GoodSize, SEEK_SET);
            return Fail(why);
        }
        done += static_cast<size_t>(w);
    }
    GoodSize += static_cast<int64_t>(Buf.size());
    Buf.clear();
    Written += Pending;
    Pending = 0;
    return true;
}

bool TRecordingWriter::Flush() {
    if (Fd < 0 || fFailed) return false;
    if (!WriteOut()) return false;
    if (fdatasync(Fd) != 0 && errno != EINVAL) return Fail(std::strerror(errno));
    return true;
}

bool TRecordingWriter::Close() {
    if (Fd < 0) return !fFailed;
    const bool ok = !fFailed && Flush();
    if (::close(Fd) != 0 && ok) Fail(std::strerror(errno));
    Fd = -1;
    return ok && !fFailed;
}
