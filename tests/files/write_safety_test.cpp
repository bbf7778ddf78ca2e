// Saves that cannot complete must say so and leave the old file as it was.
#include <gtest/gtest.h>

#include <csignal>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

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

TEST_F(WriteSafetyTest, FileTooLargeForTheDiskFailsAndKeepsTheOldFile) {
    const std::string path = dir.file("keep.DTA");
    TempDir::Write(path, "old contents");
    seam.answers = {true};
    // A file size limit makes every write past 64 KiB fail, as a full disk does.
    struct rlimit old {};
    ::getrlimit(RLIMIT_FSIZE, &old);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 64 * 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved = SaveData(path);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(saved);
    EXPECT_EQ(TempDir::Read(path), "old contents");
    EXPECT_EQ(FilesIn(dir.path()), 1u) << "no temporary file is left behind";
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
