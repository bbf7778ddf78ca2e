// Names that lead to something other than a regular file: readers and writers must refuse
// them at once, never wait on them.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <filesystem>

#include "child_process.h"
#include "fake_seam.h"
#include "myfile.h"
#include "record.h"
#include "temp_dir.h"

namespace {

class SpecialFilesTest : public ::testing::Test {
protected:
    TempDir dir;
    FakeSeam seam;
    TmyFile f{&seam};
    std::unique_ptr<TMeasureRecord> rec = TMeasureRecord::Create();

    // Bit 1: settings read, 2: data read, 4: whole-file read succeeded.
    int ReadEverything(const std::string& path) {
        TFFTSetting fft;
        TFileSetting file;
        TADSetting ad;
        std::string text;
        return (f.ReadPrf(path, PRF_HEADER, &fft, &file, &ad) ? 1 : 0) |
               (f.ReadDTA(path, DTA_HEADER, &rec->RefData, &fft, &file, &ad) ? 2 : 0) |
               (ReadWholeFile(path, text) ? 4 : 0);
    }
    // Bit 1: data, 2: FFT, 4: settings save succeeded; 8: a question was asked.
    int WriteEverything(const std::string& path) {
        rec->SigData.ad_dnum = 1024;
        rec->SigData.deltaF = 9.765625f;
        TFileSetting file = rec->FileSetting;
        file.DataFileName = path;
        seam.answers = {true, true};
        const bool dta =
            f.WriteDTA(DTA_HEADER, &rec->ADSetting, &rec->SigData, &rec->FFTSetting, &file);
        const bool fft =
            f.WriteFFT(FFT_HEADER, &rec->ADSetting, &rec->SigData, &rec->FFTSetting, &file);
        const bool prf = f.WritePrf(path, PRF_HEADER, &rec->FFTSetting, &file, &rec->ADSetting);
        return (dta ? 1 : 0) | (fft ? 2 : 0) | (prf ? 4 : 0) | (seam.asked.empty() ? 0 : 8);
    }
    size_t FilesIn() const {
        size_t n = 0;
        for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.path()))
            ++n;
        return n;
    }
};

} // namespace

TEST_F(SpecialFilesTest, FifoIsNeitherReadNorWrittenAndNothingWaitsOnIt) {
    const std::string fifo = dir.file("Kalvexini.prf");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    const std::string link = dir.file("link.prf");
    std::filesystem::create_symlink(fifo, link);
    // In a child: a call that blocks is ended by the alarm and fails the test.
    EXPECT_EQ(RunInChild([&] { return ReadEverything(fifo) | ReadEverything(link); }), 0);
    EXPECT_EQ(RunInChild([&] { return WriteEverything(fifo) | WriteEverything(link); }), 0);
    EXPECT_TRUE(std::filesystem::is_fifo(fifo));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(FilesIn(), 2u) << "no temporary file is left behind";
    EXPECT_FALSE(SaveTargetAllowed(fifo));
    EXPECT_FALSE(CanSaveFile(link));
}

TEST_F(SpecialFilesTest, DevicesFoldersAndSocketsAreRefused) {
    const std::string sock = dir.file("unit.prf");
    const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(s, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    ASSERT_LT(sock.size(), sizeof addr.sun_path);
    sock.copy(addr.sun_path, sock.size());
    ASSERT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    for (const std::string& p :
         {std::string("/dev/zero"), std::string("/dev/null"), dir.path(), sock})
        EXPECT_EQ(RunInChild([&] { return ReadEverything(p); }), 0) << p;
    EXPECT_EQ(RunInChild([&] { return WriteEverything(sock); }), 0);
    ::close(s);
    struct stat st {};
    ASSERT_EQ(::lstat(sock.c_str(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    EXPECT_EQ(FilesIn(), 1u);
}
