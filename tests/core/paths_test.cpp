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
