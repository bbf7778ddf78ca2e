#include "fake_seam.h"
#include "fft_setting.h"

#include <gtest/gtest.h>

namespace {

class DialogsFFTScale : public ::testing::Test {
protected:
    FakeSeam seam;
    TFormFFTSetting dlg{seam};
    TFFTSetting fft;
    TFileSetting file;
    TExtSetting ext;
    uint8_t cancel = 7;
};

} // namespace

TEST_F(DialogsFFTScale, SetTakesTheScaleAndAutoRangeOverAndKeepsTheRest) {
    ext.spectrumScale = 2;
    ext.continuous = 1;
    ext.averageCount = 64;
    ext.bandLowHz = 10.0;
    ext.bandHighHz = 200.0;
    dlg.SetupDialog(&fft, &file, &cancel, &ext);
    EXPECT_EQ(dlg.ComboBoxScale->currentIndex(), 2);
    EXPECT_FALSE(dlg.CheckFreqAuto->isChecked());
    ASSERT_EQ(dlg.ComboBoxScale->count(), 3);
    dlg.ComboBoxScale->setCurrentIndex(1);
    dlg.CheckFreqAuto->setChecked(true);
    // Nothing reaches the caller before Set.
    EXPECT_EQ(ext.spectrumScale, 2);
    dlg.SetBtn->click();
    EXPECT_EQ(cancel, 0);
    TExtSetting want;
    want.spectrumScale = 1;
    want.freqAuto = 1;
    want.continuous = 1;
    want.averageCount = 64;
    want.bandLowHz = 10.0;
    want.bandHighHz = 200.0;
    EXPECT_EQ(ext, want);
}

TEST_F(DialogsFFTScale, CancelAndDefaultLeaveOrResetTheWorkCopyOnly) {
    ext.spectrumScale = 1;
    ext.freqAuto = 1;
    dlg.SetupDialog(&fft, &file, &cancel, &ext);
    dlg.ComboBoxScale->setCurrentIndex(2);
    dlg.CancelBtn->click();
    EXPECT_EQ(cancel, 1);
    EXPECT_EQ(ext.spectrumScale, 1);

    dlg.SetupDialog(&fft, &file, &cancel, &ext);
    EXPECT_EQ(dlg.ComboBoxScale->currentIndex(), 1);
    EXPECT_TRUE(dlg.CheckFreqAuto->isChecked());
    dlg.DefaultBtn->click();
    EXPECT_EQ(dlg.ComboBoxScale->currentIndex(), 0);
    EXPECT_FALSE(dlg.CheckFreqAuto->isChecked());
    EXPECT_EQ(ext.spectrumScale, 1);
    dlg.SetBtn->click();
    EXPECT_EQ(ext.spectrumScale, 0);
    EXPECT_EQ(ext.freqAuto, 0);
}

TEST_F(DialogsFFTScale, WithoutTheBlockTheControlsAreOff) {
    dlg.SetupDialog(&fft, &file, &cancel);
    EXPECT_FALSE(dlg.ComboBoxScale->isEnabled());
    EXPECT_FALSE(dlg.CheckFreqAuto->isEnabled());
    dlg.SetBtn->click();
    EXPECT_EQ(cancel, 0);
    // The original controls keep their places above the new group.
    EXPECT_EQ(dlg.GroupBox6->geometry(), QRect(16, 408, 345, 77));
    EXPECT_GE(dlg.GroupBoxScale->geometry().top(), dlg.GroupBox6->geometry().bottom());
    EXPECT_LE(dlg.GroupBoxScale->geometry().bottom(), dlg.height());
}
