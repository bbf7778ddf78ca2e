// A private folder for targets that write files, on tmpfs when there is one (the writers
// fsync), emptied between inputs and removed at a normal exit. Relative names are resolved in it
// while a Here guard is alive, so nothing is ever written into the folder the fuzzer runs in.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

class TScratchDir {
public:
    TScratchDir() {
        // KALVEX_FUZZ_TMP: where scripts/fuzz.sh wants it (and cleans up after a crash).
        const char* const bases[] = {std::getenv("KALVEX_FUZZ_TMP"), "/dev/shm",
                                     std::getenv("TMPDIR"), "/tmp"};
        for (const char* base : bases) {
            if (base == nullptr || ::access(base, W_OK | X_OK) != 0) continue;
            std::string pattern = std::string(base) + "/kalvex-fuzz-XXXXXX";
            if (::mkdtemp(pattern.data()) != nullptr) {
                path_ = pattern;
                break;
            }
        }
        if (path_.empty()) {
            std::perror("mkdtemp");
            std::abort();
        }
        home_ = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    }
    ~TScratchDir() { Remove(); }
    TScratchDir(const TScratchDir&) = delete;
    TScratchDir& operator=(const TScratchDir&) = delete;
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

    // Names in the folder (not "." and "..").
    std::set<std::string> Names() const {
        std::set<std::string> names;
        if (DIR* d = ::opendir(path_.c_str())) {
            while (const dirent* e = ::readdir(d)) {
                const std::string n = e->d_name;
                if (n != "." && n != "..") names.insert(n);
            }
            ::closedir(d);
        }
        return names;
    }
    // Removes everything inside, whatever its mode.
    void Clear() const {
        ::nftw(path_.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
        ::mkdir(path_.c_str(), 0700);
    }
    void Remove() {
        if (path_.empty()) return;
        ::nftw(path_.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
        path_.clear();
    }

    // The working folder is the scratch folder while this lives.
    class Here {
    public:
        explicit Here(const TScratchDir& d) : home_(d.home_) {
            if (::chdir(d.path_.c_str()) != 0) std::abort();
        }
        ~Here() {
            if (home_ < 0 || ::fchdir(home_) != 0) std::abort();
        }
        Here(const Here&) = delete;
        Here& operator=(const Here&) = delete;

    private:
        int home_;
    };

private:
    static int RemoveEntry(const char* p, const struct stat*, int, struct FTW*) {
        ::chmod(p, 0700);
        ::remove(p);
        return 0;
    }
    std::string path_;
    int home_ = -1;
};

// Whole content of a file, or a marker that it is not there.
inline std::string FileBytes(const std::string& path) {
    std::string out;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return "\x01<missing>";
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        out.append(buf, n);
    std::fclose(f);
    return out;
}
