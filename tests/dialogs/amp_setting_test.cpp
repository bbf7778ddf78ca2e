#include "amp_setting.h"

#include <gtest/gtest.h>

namespace {

class DialogsAmpSetting : public ::testing::Test {
protected:
    TADC adc; // never opened: the dialog only asks it for texts
    TFormAmpSetting dlg;
    TADSetting block;
    uint8_t cancel = 7;

    void Open() {
        dlg.SetupDialog(&block, &cancel, &adc);
        dlg.show();
    }
    std::string Entry(int i) const { return dlg.ComboBox1->itemText(i).toStdString(); }
};

TEST_F(DialogsAmpSetting, RateListFollowsTheFilter) {
    block = {8, 0, 1};
    Open();
    EXPECT_EQ(dlg.windowTitle(), QString("ZR4410QM"));
    ASSERT_EQ(dlg.ComboBox1->count(), 14);
    EXPECT_FALSE(dlg.ComboBox1->isEditable());
    EXPECT_EQ(Entry(2), "16.66sps");
    EXPECT_EQ(Entry(4), "49.96sps");
    EXPECT_EQ(Entry(5), "59.92sps");
    EXPECT_EQ(Entry(8), "397.5sps");
    EXPECT_EQ(dlg.ComboBox1->currentIndex(), 8);
    EXPECT_TRUE(dlg.Sinc5_RBtn->isChecked());
    EXPECT_TRUE(dlg.CH1_RBtn->isChecked());

    dlg.Sinc3_RBtn->click();
    EXPECT_EQ(block.sinc3, 1); // written at once
    ASSERT_EQ(dlg.ComboBox1->count(), 14);
    EXPECT_EQ(Entry(2), "16.67sps");
    EXPECT_EQ(Entry(4), "50sps");
    EXPECT_EQ(Entry(5), "60sps");
    EXPECT_EQ(Entry(8), "400sps");
    EXPECT_EQ(Entry(13), "10ksps");
    EXPECT_EQ(dlg.ComboBox1->currentIndex(), 8);

    dlg.Sinc5_RBtn->click();
    EXPECT_EQ(block.sinc3, 0);
    EXPECT_EQ(Entry(8), "397.5sps");
}

TEST_F(DialogsAmpSetting, SetStoresTheControls) {
    block = {3, 1, 0};
    Open();
    dlg.ComboBox1->setCurrentIndex(11);
    dlg.Sinc5_RBtn->click();
    dlg.CH1_RBtn->click();
    dlg.SetBtn->click();
    EXPECT_EQ(block, (TADSetting{11, 0, 1}));
    EXPECT_EQ(cancel, 0);
    EXPECT_FALSE(dlg.isVisible());

    block = {20, 1, 0}; // a rate outside the table is pulled in
    Open();
    dlg.SetBtn->click();
    EXPECT_EQ(block.spsSel, 13);
}

TEST_F(DialogsAmpSetting, DefaultsStayEvenOnCancel) {
    block = {2, 0, 1};
    Open();
    dlg.DefaultBtn->click();
    EXPECT_EQ(block, (TADSetting{13, 1, 0}));
    EXPECT_EQ(dlg.ComboBox1->currentIndex(), 13);
    EXPECT_EQ(Entry(2), "16.67sps");
    EXPECT_TRUE(dlg.CH0_RBtn->isChecked());
    dlg.CancelBtn->click();
    EXPECT_EQ(cancel, 1);
    EXPECT_EQ(block, (TADSetting{13, 1, 0}));

    block = {2, 0, 1};
    Open();
    dlg.DefaultBtn->click();
    dlg.SetBtn->click();
    EXPECT_EQ(block, (TADSetting{13, 1, 0}));
    EXPECT_EQ(cancel, 0);
}

TEST_F(DialogsAmpSetting, CancelKeepsChannelAndRateButNotFilter) {
    block = {4, 1, 0};
    Open();
    dlg.CH1_RBtn->click();
    dlg.ComboBox1->setCurrentIndex(9);
    dlg.CancelBtn->click();
    EXPECT_EQ(block, (TADSetting{4, 1, 0}));

    Open();
    dlg.Sinc5_RBtn->click();
    dlg.CH1_RBtn->click();
    dlg.reject(); // Esc counts as Cancel
    EXPECT_EQ(cancel, 1);
    EXPECT_EQ(block, (TADSetting{4, 0, 0}));
}

} // namespace
