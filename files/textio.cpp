// Whole-file reading and safe replacement of files.
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>

#include "myfile.h"
#include "paths.h"

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
    // Only regular files: opening a FIFO would wait for a writer forever, and a device may not
    // end. The stat spares devices even the open; O_NONBLOCK and the fstat close the race of a
    // name swapped in between.
    struct stat pre {};
    if (path.empty() || (::stat(path.c_str(), &pre) == 0 && !S_ISREG(pre.st_mode))) return false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<unsigned long long>(st.st_size) > MAX_READ_FILE_BYTES) {
        ::close(fd);
        return false;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags == -1 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == -1) {
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

// Where a save to path really goes (the file a symbolic link leads to) and what is there now.
struct SaveTarget {
    std::string path;
    bool exists = false;
    struct stat st {};
};

SaveTarget ResolveTarget(const std::string& path) {
    SaveTarget t{path};
    struct stat lst {};
    if (::lstat(path.c_str(), &lst) != 0) return t;
    if (S_ISLNK(lst.st_mode)) {
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            t.path = real;
            std::free(real);
        }
    }
    t.exists = ::stat(t.path.c_str(), &t.st) == 0;
    return t;
}

// A file without any write permission bit, or one we may not write, is protected. The rename
// of a save needs only the folder's permission and would replace it; root passes every access
// test, so the mode bits are looked at on their own as well: 0444 stops root too.
bool IsWriteProtected(const SaveTarget& t) {
    if ((t.st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return true;
    return ::faccessat(AT_FDCWD, t.path.c_str(), W_OK, AT_EACCESS) != 0;
}

bool TargetAllowed(const SaveTarget& t) {
    return !t.exists || (S_ISREG(t.st.st_mode) && !IsWriteProtected(t));
}

std::string FolderOf(const std::string& path) {
    const size_t sep = path.rfind('/');
    if (sep == std::string::npos) return ".";
    return sep == 0 ? "/" : path.substr(0, sep);
}

// Blocks SIGXFSZ for this thread while a save writes, so a file-size limit makes write() fail
// with EFBIG instead of ending the program. A signal that our own write raised is taken off
// before the old mask returns. The signal is thread-directed, so other threads are not touched.
class FileSizeSignalGuard {
public:
    FileSizeSignalGuard() {
        sigemptyset(&set_);
        sigaddset(&set_, SIGXFSZ);
        active_ = ::pthread_sigmask(SIG_BLOCK, &set_, &old_) == 0 && !sigismember(&old_, SIGXFSZ);
    }
    ~FileSizeSignalGuard() {
        if (!active_) return;
        sigset_t pending;
        sigemptyset(&pending);
        const struct timespec now {};
        while (::sigpending(&pending) == 0 && sigismember(&pending, SIGXFSZ))
            if (::sigtimedwait(&set_, nullptr, &now) < 0 && errno != EINTR) break;
        ::pthread_sigmask(SIG_SETMASK, &old_, nullptr);
    }
    FileSizeSignalGuard(const FileSizeSignalGuard&) = delete;
    FileSizeSignalGuard& operator=(const FileSizeSignalGuard&) = delete;

private:
    sigset_t set_{};
    sigset_t old_{};
    bool active_ = false;
};

// The temporary file's name pattern: next to the target, under a short name when the target's
// own name leaves no room for the suffix.
std::string TempPattern(const std::string& target) {
    constexpr const char* suffix = ".tmp-XXXXXX";
    const size_t sep = target.rfind('/');
    const size_t nameLen = sep == std::string::npos ? target.size() : target.size() - sep - 1;
    if (nameLen + std::char_traits<char>::length(suffix) <= NAME_MAX) return target + suffix;
    return FolderOf(target) + "/.kalvex" + suffix;
}

} // namespace

bool SaveTargetAllowed(const std::string& path) {
    return IsUsableLocalPath(path) && TargetAllowed(ResolveTarget(path));
}

bool CanSaveFile(const std::string& path) {
    if (!IsUsableLocalPath(path)) return false;
    const SaveTarget t = ResolveTarget(path);
    if (!TargetAllowed(t)) return false;
    const std::string folder = FolderOf(t.path);
    struct stat st {};
    return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
           ::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

bool WriteFileAtomic(const std::string& path, std::string_view text) {
    if (!IsUsableLocalPath(path)) return false;
    const SaveTarget t = ResolveTarget(path);
    if (!TargetAllowed(t)) return false;
    const mode_t mode = t.exists ? (t.st.st_mode & 07777) : NewFileMode();

    FileSizeSignalGuard noSigXfsz;
    std::string tmp = TempPattern(t.path);
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
    ok = ok && ::rename(tmp.c_str(), t.path.c_str()) == 0;
    if (!ok) {
        ::unlink(tmp.c_str());
        return false;
    }
    return true;
}
