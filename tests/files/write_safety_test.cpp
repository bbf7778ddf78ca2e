// Saves that cannot complete must say so and leave the old file as it was.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <pthread.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "child_process.h"
#include "fake_seam.h"
#include "myfile.h"
#include "record.h"
#include "temp_dir.h"

namespace {

class WriteSafetyTest : public ::testing::Test {
protected:
    TempDir dir;
    FakeSeam seam;
    TmyFile f{&seam};
    std::unique_ptr<TMeasureRecord> rec = TMeasureRecord::Create();

    void SetUp() override {
        rec->SigData.ad_dnum = 65536;
        rec->SigData.deltaF = 0.15258789f;
        for (int i = 0; i < 65536; ++i) {
            rec->CodeBuf[i] = 0x80000000u + static_cast<uint32_t>(i) * 977u;
            rec->VoltBuf[i] = CodeToVolt(rec->CodeBuf[i]);
        }
    }
    bool SaveData(const std::string& path) {
        rec->FileSetting.DataFileName = path;
        return f.WriteDTA(DTA_HEADER, &rec->ADSetting, &rec->SigData, &rec->FFTSetting,
                          &rec->FileSetting);
    }
    bool SaveAll(const std::string& folder) {
        bool any = SaveData(folder + "/a.DTA");
        TFileSetting fft = rec->FileSetting;
        fft.DataFileName = folder + "/a.FFT";
        any = f.WriteFFT(FFT_HEADER, &rec->ADSetting, &rec->SigData, &rec->FFTSetting, &fft) || any;
        any = f.WritePrf(folder + "/a.prf", PRF_HEADER, &rec->FFTSetting, &rec->FileSetting,
                         &rec->ADSetting) ||
              any;
        return any;
    }
    static size_t FilesIn(const std::string& folder) {
        size_t n = 0;
        for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(folder))
            ++n;
        return n;
    }
};

// Mounts a small tmpfs for the test's life when the machine lets us (root in CI).
class TinyMount {
public:
    TinyMount(const std::string& at, const char* options, unsigned long flags = 0) : at_(at) {
        mounted_ = ::mount("tmpfs", at.c_str(), "tmpfs", flags, options) == 0;
    }
    ~TinyMount() {
        if (mounted_) ::umount2(at_.c_str(), MNT_DETACH);
    }
    bool ok() const { return mounted_; }

private:
    std::string at_;
    bool mounted_ = false;
};

} // namespace

TEST_F(WriteSafetyTest, FileSizeLimitFailsTheSaveInsteadOfEndingTheProgram) {
    const std::string path = dir.file("keep.DTA");
    const std::string prf = dir.file("keep.prf");
    TempDir::Write(path, "old contents");
    TempDir::Write(prf, "old settings");
    // In a child with the default SIGXFSZ action, which ends a process that writes past the
    // limit: the saves must fail and the child live on.
    const int result = RunInChild([&] {
        struct rlimit small {};
        ::getrlimit(RLIMIT_FSIZE, &small);
        small.rlim_cur = 64 * 1024;
        if (std::signal(SIGXFSZ, SIG_DFL) == SIG_ERR || ::setrlimit(RLIMIT_FSIZE, &small) != 0)
            return 100;
        seam.answers = {true};
        int failures = SaveData(path) ? 1 : 0;
        small.rlim_cur = 100;
        if (::setrlimit(RLIMIT_FSIZE, &small) != 0) return 101;
        if (f.WritePrf(prf, PRF_HEADER, &rec->FFTSetting, &rec->FileSetting, &rec->ADSetting))
            failures |= 2;
        // The signal is neither left blocked nor left pending.
        sigset_t mask, pending;
        ::pthread_sigmask(SIG_BLOCK, nullptr, &mask);
        ::sigpending(&pending);
        if (sigismember(&mask, SIGXFSZ) || sigismember(&pending, SIGXFSZ)) failures |= 4;
        return failures;
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(TempDir::Read(path), "old contents");
    EXPECT_EQ(TempDir::Read(prf), "old settings");
    EXPECT_EQ(FilesIn(dir.path()), 2u) << "no temporary file is left behind";
}

TEST_F(WriteSafetyTest, WriteProtectedFileIsNeverReplaced) {
    // Root could open these for writing: the mode bits alone must stop the save.
    for (mode_t mode : {mode_t{0444}, mode_t{0400}, mode_t{0}}) {
        const std::string path = dir.file("locked.DTA");
        const std::string link = dir.file("locked-link.DTA");
        TempDir::Write(path, "old");
        ASSERT_EQ(::chmod(path.c_str(), mode), 0);
        std::filesystem::remove(link);
        std::filesystem::create_symlink(path, link);
        seam.asked.clear();
        seam.answers = {true, true, true};
        EXPECT_FALSE(SaveData(path));
        EXPECT_FALSE(SaveData(link));
        TFileSetting fft = rec->FileSetting;
        fft.DataFileName = path;
        EXPECT_FALSE(
            f.WriteFFT(FFT_HEADER, &rec->ADSetting, &rec->SigData, &rec->FFTSetting, &fft));
        EXPECT_FALSE(
            f.WritePrf(path, PRF_HEADER, &rec->FFTSetting, &rec->FileSetting, &rec->ADSetting));
        EXPECT_TRUE(seam.asked.empty()) << "no question about a file that cannot be replaced";
        EXPECT_FALSE(SaveTargetAllowed(path));
        EXPECT_FALSE(CanSaveFile(link));
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, mode);
        ::chmod(path.c_str(), 0600);
        EXPECT_EQ(TempDir::Read(path), "old");
        EXPECT_EQ(FilesIn(dir.path()), 2u);
        std::filesystem::remove(path);
        std::filesystem::remove(link);
    }
    // Once writable again, it is replaced as usual and keeps its mode.
    const std::string path = dir.file("open.DTA");
    TempDir::Write(path, "old");
    ::chmod(path.c_str(), 0604);
    EXPECT_TRUE(CanSaveFile(path));
    seam.answers = {true};
    EXPECT_TRUE(SaveData(path));
    struct stat st {};
    ::stat(path.c_str(), &st);
    EXPECT_EQ(st.st_mode & 07777, 0604u);
}

TEST_F(WriteSafetyTest, NamesOfTheOtherPlatformAreNotSavedTo) {
    // Run in the test folder, with a folder "C:" there so that "C:/x.DTA" would work as a
    // relative name if the rule let it through.
    const auto oldCwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    std::filesystem::create_directory("C:");
    for (const char* name : {"C:\\data\\test1.DTA", "C:/x.DTA", "c:x.DTA",
                             "\\\\server\\share\\x.DTA", "data\\x.DTA"}) {
        seam.answers = {true};
        EXPECT_FALSE(SaveData(name)) << name;
        TFileSetting fft = rec->FileSetting;
        fft.DataFileName = name;
        EXPECT_FALSE(
            f.WriteFFT(FFT_HEADER, &rec->ADSetting, &rec->SigData, &rec->FFTSetting, &fft));
        EXPECT_FALSE(
            f.WritePrf(name, PRF_HEADER, &rec->FFTSetting, &rec->FileSetting, &rec->ADSetting));
        EXPECT_FALSE(CanSaveFile(name));
    }
    // A name with a NUL inside would save to its first part.
    const std::string cut("a.DTA\0.txt", 11);
    EXPECT_FALSE(SaveData(cut));
    std::filesystem::current_path(oldCwd);
    EXPECT_TRUE(seam.asked.empty());
    EXPECT_EQ(FilesIn(dir.path()), 1u);
    EXPECT_EQ(FilesIn(dir.file("C:")), 0u);
}

TEST_F(WriteSafetyTest, LongestFileNameStillSaves) {
    // 255 bytes: the temporary file's suffix would not fit onto it.
    const std::string path = dir.file(std::string(251, 'a') + ".DTA");
    EXPECT_TRUE(CanSaveFile(path));
    ASSERT_TRUE(SaveData(path));
    TempDir::Write(path, "old");
    seam.answers = {true};
    ASSERT_TRUE(SaveData(path));
    EXPECT_EQ(TempDir::Read(path).substr(0, 15), "DataFile:Kalvex");
    EXPECT_EQ(FilesIn(dir.path()), 1u);
}

TEST_F(WriteSafetyTest, CanSaveFileLooksAtTheFolderToo) {
    EXPECT_TRUE(CanSaveFile(dir.file("new.prf")));
    EXPECT_FALSE(CanSaveFile(dir.file("no/such/new.prf")));
    TempDir::Write(dir.file("plain"), "x");
    EXPECT_FALSE(CanSaveFile(dir.file("plain/new.prf")));
    EXPECT_FALSE(CanSaveFile(dir.path()));
    if (::geteuid() != 0) {
        const std::string ro = dir.file("ro");
        std::filesystem::create_directory(ro);
        TempDir::Write(ro + "/a.prf", "old");
        ::chmod(ro.c_str(), 0555);
        EXPECT_FALSE(CanSaveFile(ro + "/a.prf")) << "a writable file in a read-only folder";
        ::chmod(ro.c_str(), 0755);
    }
    EXPECT_EQ(FilesIn(dir.path()), 1u + (::geteuid() != 0 ? 1u : 0u));
}

TEST_F(WriteSafetyTest, FullTmpfsFailsAndKeepsTheOldFile) {
    const std::string mnt = dir.file("small");
    std::filesystem::create_directory(mnt);
    TinyMount m(mnt, "size=256k");
    if (!m.ok()) GTEST_SKIP() << "cannot mount a tmpfs here";
    const std::string path = mnt + "/keep.DTA";
    TempDir::Write(path, "old contents");
    seam.answers = {true};
    EXPECT_FALSE(SaveData(path));
    EXPECT_EQ(TempDir::Read(path), "old contents");
    EXPECT_EQ(FilesIn(mnt), 1u);
    // A small file still fits.
    rec->SigData.ad_dnum = 1024;
    seam.answers = {true};
    EXPECT_TRUE(SaveData(path));
}

TEST_F(WriteSafetyTest, ReadOnlyFolderFailsEveryWriter) {
    const std::string ro = dir.file("ro");
    std::filesystem::create_directory(ro);
    TempDir::Write(ro + "/a.DTA", "old");
    if (::geteuid() != 0) {
        ::chmod(ro.c_str(), 0555);
    } else {
        // Root writes anywhere: make the folder a read-only mount instead.
        if (::mount(ro.c_str(), ro.c_str(), nullptr, MS_BIND, nullptr) != 0 ||
            ::mount(nullptr, ro.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0)
            GTEST_SKIP() << "cannot make a read-only folder here";
    }
    seam.answers = {true, true};
    EXPECT_FALSE(SaveAll(ro));
    EXPECT_EQ(TempDir::Read(ro + "/a.DTA"), "old");
    if (::geteuid() == 0) ::umount2(ro.c_str(), MNT_DETACH);
}

TEST_F(WriteSafetyTest, MissingFolderOrAFolderNamedLikeTheFileFails) {
    EXPECT_FALSE(SaveAll(dir.file("no/such/folder")));
    TempDir::Write(dir.file("plain"), "x");
    EXPECT_FALSE(SaveAll(dir.file("plain")));
    std::filesystem::create_directory(dir.file("a.DTA"));
    seam.answers = {true};
    EXPECT_FALSE(SaveData(dir.file("a.DTA")));
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("a.DTA")));
}

TEST_F(WriteSafetyTest, ReplacedFileKeepsItsPermissionsAndLinks) {
    const std::string real = dir.file("real.DTA");
    const std::string link = dir.file("link.DTA");
    TempDir::Write(real, "old");
    ::chmod(real.c_str(), 0640);
    std::filesystem::create_symlink(real, link);
    seam.answers = {true};
    ASSERT_TRUE(SaveData(link));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(TempDir::Read(real).substr(0, 15), "DataFile:Kalvex");
    struct stat st {};
    ::stat(real.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}
