#include <gtest/gtest.h>

#include "paths.h"

TEST(CorePaths, FileNamePartAndBaseWithEitherSeparator) {
    EXPECT_EQ(FileNamePart("C:\\data\\test1.DTA"), "test1.DTA");
    EXPECT_EQ(FileNamePart("/home/me/run.DTA"), "run.DTA");
    EXPECT_EQ(FileNamePart("/home/me/"), "");
    EXPECT_EQ(FileNamePart("run.DTA"), "run.DTA");

    EXPECT_EQ(BaseName("C:\\m\\run.DTA"), "C:\\m\\run");
    EXPECT_EQ(BaseName("C:\\m.v2\\run.DTA"), "C:\\m.v2\\run");
    EXPECT_EQ(BaseName("C:\\m.v2\\run"), "C:\\m.v2\\run");
    EXPECT_EQ(BaseName("/m.v2/run"), "/m.v2/run");
    EXPECT_EQ(BaseName("/m/a.b.c"), "/m/a.b");
    EXPECT_EQ(BaseName("/m/x.FFT"), "/m/x");
}

TEST(CorePaths, ExtensionRules) {
    // Save data
    EXPECT_EQ(DataSaveName("C:\\m\\run"), "C:\\m\\run.DTA");
    EXPECT_EQ(DataSaveName("C:\\m\\run.txt"), "C:\\m\\run.txt.DTA");
    EXPECT_EQ(DataSaveName("C:\\m.v2\\run"), "C:\\m.v2\\run.DTA");
    EXPECT_EQ(DataSaveName("/m/a.dta"), "/m/a.dta.DTA");
    EXPECT_EQ(DataSaveName("/m/a.DTA"), "/m/a.DTA");
    // File New and FFT export: only a name without any dot gets one.
    EXPECT_EQ(WithDefaultExtension("C:\\m.v2\\run", ".FFT"), "C:\\m.v2\\run");
    EXPECT_EQ(WithDefaultExtension("/m/run", ".FFT"), "/m/run.FFT");
    EXPECT_TRUE(ContainsDot("/m.v2/run"));
    EXPECT_FALSE(ContainsDot("/m/run"));
    // FFT export proposal and the data name it leaves behind.
    EXPECT_EQ(BaseName("C:\\m.v2\\run.DTA") + ".FFT", "C:\\m.v2\\run.FFT");
    EXPECT_EQ(BaseName("C:\\m.v2\\x.FFT") + ".DTA", "C:\\m.v2\\x.DTA");
}

TEST(CorePaths, ShortenPathDropsMiddleFoldersUntilItFits) {
    EXPECT_EQ(ShortenPath("C:\\Users\\me\\Documents\\measure\\data\\test1.DTA", 32),
              "C:\\Users\\...data\\test1.DTA");
    EXPECT_EQ(ShortenPath("/home/me/Documents/measure/data/test1.DTA", 32),
              "/home/...measure/data/test1.DTA");
    EXPECT_EQ(ShortenPath("short.DTA", 32), "short.DTA");
    EXPECT_EQ(ShortenPath("anything/long/enough/to/shorten/but/n/is/zero", 0),
              "anything/long/enough/to/shorten/but/n/is/zero");
    // Without folders: first 3 characters, "...", the rest from the 11th.
    EXPECT_EQ(ShortenPath("abcdefghijklmnopqrstuvwxyz", 22), "abc...klmnopqrstuvwxyz");
    EXPECT_EQ(ShortenPath("abcdefghijklmnopqrstuvwxyz", 20), "abc...opqrstuvwxyz");
    // A width too small to reach still ends.
    EXPECT_EQ(ShortenPath("abcdefghijklmnopqrstuvwxyz", 2), "abc...");
}

TEST(CorePaths, ShortenPathCountsCharactersNotBytes) {
    // 25 characters but 43 bytes: fits as it is.
    const std::string fits = "/home/taro/計測/振動試験データ.DTA";
    EXPECT_EQ(CharCount(fits), 25u);
    EXPECT_EQ(ShortenPath(fits, 32), fits);
    // 37 characters: two middle folders go, and the result is cut only at separators.
    EXPECT_EQ(ShortenPath("/home/taro/計測データ/振動試験/第一回/振動試験データ.DTA", 32),
              "/home/...振動試験/第一回/振動試験データ.DTA");
    // Without folders the 3-character head and the tail from the 11th are whole characters.
    EXPECT_EQ(ShortenPath("振動試験データ振動試験データ.DTA", 15), "振動試...験データ.DTA");
    EXPECT_EQ(ShortenPath("振動試験データ振動試験データ.DTA", 2), "振動試...");
}

TEST(CorePaths, CharCountTakesMalformedBytesOneByOne) {
    EXPECT_EQ(CharCount(""), 0u);
    EXPECT_EQ(CharCount("a計b"), 3u);
    EXPECT_EQ(CharCount("\xe8\xa8"), 2u);     // cut-off sequence
    EXPECT_EQ(CharCount("\xc0\x80"), 2u);     // overlong form
    EXPECT_EQ(CharCount("\xed\xa0\x80"), 3u); // surrogate
    EXPECT_EQ(CharCount("\xf0\x9f\x98\x80"), 1u);
    EXPECT_EQ(CharCount("\x95\x5c\x8e\xa6"), 4u); // Shift-JIS bytes
    // A Shift-JIS name from the other platform still shrinks and ends.
    const std::string sjis = "C:\\\x8c\x76\x91\xaa\\\x83\x66\x81\x5b\x83\x5e\\data\\test1.DTA";
    EXPECT_LE(CharCount(ShortenPath(sjis, 12)), CharCount(sjis));
}

TEST(CorePaths, OnlyNamesOfThisPlatformAreUsableForSaving) {
    for (const char* foreign : {"C:\\data\\test1.DTA", "C:/x.DTA", "c:x.DTA",
                                "Z:", "\\\\server\\share\\x.DTA", "data\\test1.DTA", ""})
        EXPECT_FALSE(IsUsableLocalPath(foreign)) << foreign;
    EXPECT_FALSE(IsUsableLocalPath(std::string("/tmp/a\0b.DTA", 12)));
    for (const char* local : {"/home/me/test1.DTA", "test1.DTA", "./C:x.DTA", "/m/a:b.DTA",
                              "/home/taro/計測/振動試験データ.DTA", "1:x.DTA"})
        EXPECT_TRUE(IsUsableLocalPath(local)) << local;
}
