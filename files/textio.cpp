// Whole-file reading and atomic replacement of files.
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>

#include "myfile.h"

bool TLineReader::NextRaw(std::string_view& line) {
    if (pos_ >= buf_.size()) return false;
    const size_t nl = buf_.find('\n', pos_);
    const size_t end = nl == std::string::npos ? buf_.size() : nl;
    line = std::string_view(buf_).substr(pos_, end - pos_);
    pos_ = nl == std::string::npos ? buf_.size() : nl + 1;
    return true;
}

void TTextWriter::Line(std::string_view text) {
    buf_.append(text);
    buf_.append("\r\n");
}

void TTextWriter::KeyLine(std::string_view key, std::string_view value) {
    buf_.append(key);
    buf_.append(value);
    buf_.append("\r\n");
}

void TTextWriter::KeyLine(std::string_view key, long long value) {
    char num[24];
    auto res = std::to_chars(num, num + sizeof num, value);
    KeyLine(key, std::string_view(num, static_cast<size_t>(res.ptr - num)));
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

bool ReadWholeFile(const std::string& path, std::string& text) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<unsigned long long>(st.st_size) > MAX_READ_FILE_BYTES) {
        ::close(fd);
        return false;
    }
    std::string buf;
    buf.resize(static_cast<size_t>(st.st_size));
    size_t got = 0;
    bool ok = true;
    // The size may change under us: read until the end, never past the cap.
    for (;;) {
        if (got == buf.size()) {
            if (buf.size() >= MAX_READ_FILE_BYTES) {
                char probe;
                const ssize_t n = ::read(fd, &probe, 1);
                ok = n == 0;
                break;
            }
            buf.resize(std::min(MAX_READ_FILE_BYTES, buf.size() + 65536));
        }
        const ssize_t n = ::read(fd, buf.data() + got, buf.size() - got);
        if (n < 0) {
            if (errno == EINTR) continue;
            ok = false;
            break;
        }
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    ::close(fd);
    if (!ok) return false;
    buf.resize(got);
    text = std::move(buf);
    return true;
}

namespace {

mode_t NewFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return static_cast<mode_t>(0666 & ~mask);
}

} // namespace

bool WriteFileAtomic(const std::string& path, std::string_view text) {
    if (path.empty()) return false;
    // Replace the file a symbolic link leads to, not the link.
    std::string target = path;
    mode_t mode = NewFileMode();
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        if (S_ISLNK(st.st_mode)) {
            char* real = ::realpath(path.c_str(), nullptr);
            if (real) {
                target = real;
                std::free(real);
            }
        }
        struct stat tst {};
        if (::stat(target.c_str(), &tst) == 0) {
            if (!S_ISREG(tst.st_mode)) return false;
            mode = tst.st_mode & 07777;
        }
    }

    std::string tmp = target + ".tmp-XXXXXX";
    const int fd = ::mkstemp(tmp.data());
    if (fd < 0) return false;
    bool ok = true;
    size_t done = 0;
    while (ok && done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            ok = false;
        } else {
            done += static_cast<size_t>(n);
        }
    }
    ok = ok && ::fchmod(fd, mode) == 0;
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(tmp.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(tmp.c_str());
        return false;
    }
    return true;
}
