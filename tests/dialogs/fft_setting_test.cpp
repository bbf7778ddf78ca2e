#include "fake_seam.h"
#include "fft_setting.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QTimer>

namespace {

QString Q(const char* s) {
    return QString::fromUtf8(s);
}

class DialogsFFTSetting : public ::testing::Test {
protected:
    FakeSeam seam;
    TFormFFTSetting dlg{seam};
    TFFTSetting fft;   // the caller's copy
    TFileSetting file; // the caller's block
    uint8_t cancel = 7;

    void Open() {
        dlg.SetupDialog(&fft, &file, &cancel);
        dlg.show();
    }
    // A choice the user makes in a list.
    static void Pick(QComboBox* c, int index) {
        c->setCurrentIndex(index);
        emit c->activated(index);
    }
    static int At(const QComboBox* c, int first) { return c->currentIndex() + first; }
    int Asked(const std::string& kind) const {
        int n = 0;
        for (const auto& a : seam.asked)
            n += a.kind == kind;
        return n;
    }
};

TEST_F(DialogsFFTSetting, ListsArePickOnlyWithFullWidthdBTexts) {
    for (QComboBox* c :
         {dlg.ComboBoxFreqS, dlg.ComboBoxFreqE, dlg.ComboBoxdBS, dlg.ComboBoxdBE, dlg.ComboBoxDNum})
        EXPECT_FALSE(c->isEditable());
    ASSERT_EQ(dlg.ComboBoxdBS->count(), 17);
    ASSERT_EQ(dlg.ComboBoxdBE->count(), 18);
    EXPECT_EQ(dlg.ComboBoxdBS->itemText(0), Q("＋２０ｄＢ"));
    EXPECT_EQ(dlg.ComboBoxdBS->itemText(2), Q("　　０ｄＢ"));
    EXPECT_EQ(dlg.ComboBoxdBS->itemText(16), Q("－１４０ｄＢ"));
    EXPECT_EQ(dlg.ComboBoxdBE->itemText(17), Q("－１８０ｄＢ"));
}

TEST_F(DialogsFFTSetting, SetStoresEveryControlAndCloses) {
    fft = {0, 1, 0, 0, 0, 0, 1, 3, 12, 5, 19, 3, 0x123456, 1, 2, 3, 2, 4096};
    const TFFTSetting before = fft;
    Open();
    EXPECT_FALSE(dlg.ComboBoxFreqS->isEnabled()); // linear axis
    dlg.SetBtn->click();
    EXPECT_EQ(fft, before);
    EXPECT_EQ(cancel, 0);
    EXPECT_FALSE(dlg.isVisible());

    Open();
    Pick(dlg.ComboBoxDNum, 7);
    dlg.SetBtn->click();
    EXPECT_EQ(fft.DataCountSel, 7);
    EXPECT_EQ(fft.DataCountMax, 131072);
}

TEST_F(DialogsFFTSetting, ShowDataRepairsStoredIndices) {
    fft.index_dB_min = 1;
    fft.fAbsoGraph = 0;
    fft.index_dB_max = 7;
    fft.DataCountSel = 12;
    fft.whichWindowFunc = -1;
    fft.index_FreqE = 2;
    Open();
    EXPECT_EQ(dlg.ComboBoxdBE->currentText(), Q("－１０ｄＢ"));
    EXPECT_FALSE(dlg.ComboBoxdBS->isEnabled());
    dlg.SetBtn->click();
    EXPECT_EQ(fft.index_dB_max, 2);
    EXPECT_EQ(fft.index_dB_min, 3);
    EXPECT_EQ(fft.DataCountSel, 8);
    EXPECT_EQ(fft.DataCountMax, 262144);
    EXPECT_EQ(fft.whichWindowFunc, 0);
    EXPECT_EQ(fft.index_FreqE, 6);
}

TEST_F(DialogsFFTSetting, FrequencyRangeRules) {
    Open(); // logarithmic axis
    Pick(dlg.ComboBoxFreqE, 7 - 6);
    Pick(dlg.ComboBoxFreqS, 8);
    EXPECT_EQ(At(dlg.ComboBoxFreqE, 6), 9);
    Pick(dlg.ComboBoxFreqE, 11 - 6);
    Pick(dlg.ComboBoxFreqS, 11);
    EXPECT_EQ(At(dlg.ComboBoxFreqE, 6), 12);
    Pick(dlg.ComboBoxFreqS, 6);
    Pick(dlg.ComboBoxFreqE, 0); // 10 Hz
    EXPECT_EQ(At(dlg.ComboBoxFreqS, 0), 5);

    // Linear axis: the start list is disabled, yet it still moves below the end, so that the
    // settings always read back from a file.
    Pick(dlg.ComboBoxFreqS, 6);
    dlg.RadioGroup1->Button(0)->click();
    EXPECT_FALSE(dlg.ComboBoxFreqS->isEnabled());
    Pick(dlg.ComboBoxFreqE, 0);
    dlg.SetBtn->click();
    EXPECT_EQ(fft.fLogGraph, 0);
    EXPECT_EQ(fft.index_FreqS, 5);
    EXPECT_EQ(fft.index_FreqE, 6);
}

TEST_F(DialogsFFTSetting, dBRangeRules) {
    Open();
    Pick(dlg.ComboBoxdBE, 8 - 3);
    Pick(dlg.ComboBoxdBS, 16);
    EXPECT_EQ(At(dlg.ComboBoxdBE, 3), 17);
    Pick(dlg.ComboBoxdBS, 2);
    Pick(dlg.ComboBoxdBE, 0);
    EXPECT_EQ(At(dlg.ComboBoxdBS, 0), 2);
    Pick(dlg.ComboBoxdBS, 3);
    Pick(dlg.ComboBoxdBE, 0);
    EXPECT_EQ(At(dlg.ComboBoxdBS, 0), 2);

    // Relative dB: the top is held at 0 dB and the end rule rests.
    Pick(dlg.ComboBoxdBS, 5);
    dlg.CheckBoxAbsodB->click();
    EXPECT_FALSE(dlg.ComboBoxdBS->isEnabled());
    EXPECT_EQ(At(dlg.ComboBoxdBS, 0), 2);
    Pick(dlg.ComboBoxdBS, 9);
    EXPECT_EQ(At(dlg.ComboBoxdBS, 0), 2);
    dlg.SetBtn->click();
    EXPECT_EQ(fft.fAbsoGraph, 0);
    EXPECT_EQ(fft.index_dB_max, 2);
    EXPECT_EQ(fft.index_dB_min, 6);
}

TEST_F(DialogsFFTSetting, DefaultsFillTheFormButKeepTheChosenFile) {
    fft = {0, 1, 0, 0, 0, 0, 0, 3, 12, 2, 19, 0, 1, 1, 1, 1, 1, 2048};
    file = {1, "/data/run.DTA", "2026/01/02 03:04:05"};
    Open();
    EXPECT_EQ(dlg.EditFileName->text(), Q("/data/run.DTA"));
    dlg.DefaultBtn->click();
    EXPECT_TRUE(dlg.EditFileName->text().isEmpty());
    EXPECT_EQ(dlg.SelFileName, "/data/run.DTA");
    EXPECT_TRUE(dlg.ComboBoxFreqS->isEnabled());
    EXPECT_TRUE(dlg.ComboBoxdBS->isEnabled());
    dlg.SetBtn->click();
    TFFTSetting defFFT;
    TFileSetting defFile;
    TFormFFTSetting::SetDefault(defFFT, defFile);
    EXPECT_EQ(fft, defFFT);
    // Auto-save off: the caller's current data file stays named.
    EXPECT_EQ(file, (TFileSetting{0, "/data/run.DTA", ""}));
}

TEST_F(DialogsFFTSetting, AutoSaveWithoutFileIsRefusedAndCancelLeavesSettings) {
    file = {1, "", "t0"}; // auto-save on but no file named, as a settings file may hold
    const TFileSetting fileBefore = file;
    Open();
    dlg.SetBtn->click();
    ASSERT_EQ(Asked("message"), 1);
    EXPECT_EQ(seam.asked.back().caption, "QV");
    EXPECT_EQ(seam.asked.back().text, "データファイルを選択して下さい");
    EXPECT_EQ(seam.asked.back().icon, TMsgIcon::Error);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(cancel, 7);
    dlg.CancelBtn->click();
    EXPECT_EQ(cancel, 1);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(file, fileBefore);
}

TEST_F(DialogsFFTSetting, FileChoice) {
    file = {0, "/m/old.DTA", "t0"};
    Open();
    dlg.CheckSaveData->click(); // cancelled: the box unchecks again, nothing asked twice
    EXPECT_EQ(Asked("save"), 1);
    EXPECT_EQ(seam.asked.back().text, "/m/old.DTA");
    EXPECT_FALSE(dlg.CheckSaveData->isChecked());

    seam.fileNames = {std::string("/home/me/Documents/measure/data/test1"), std::string("")};
    dlg.FileBtn->click();
    EXPECT_EQ(dlg.SelFileName, "/home/me/Documents/measure/data/test1.DTA");
    EXPECT_EQ(dlg.EditFileName->text(), Q("/home/...measure/data/test1.DTA"));
    EXPECT_TRUE(dlg.CheckSaveData->isChecked());
    dlg.FileBtn->click(); // an empty answer chooses nothing
    EXPECT_EQ(seam.asked.back().text, "/home/me/Documents/measure/data/test1.DTA");
    EXPECT_EQ(dlg.SelFileName, "/home/me/Documents/measure/data/test1.DTA");
    seam.fileNames = {std::string("/m.v2/run")};
    EXPECT_TRUE(dlg.SelectDataFile());
    EXPECT_EQ(dlg.SelFileName, "/m.v2/run");
    EXPECT_EQ(Asked("save"), 4);

    dlg.SetBtn->click();
    EXPECT_EQ(file, (TFileSetting{1, "/m.v2/run", "t0"}));

    // The choice outlives the opening: checking the box again asks nothing.
    file = {0, "/m/loaded.DTA", "t1"};
    Open();
    EXPECT_TRUE(dlg.EditFileName->text().isEmpty());
    dlg.CheckSaveData->click();
    EXPECT_EQ(Asked("save"), 4);
    EXPECT_EQ(dlg.EditFileName->text(), Q("/m.v2/run"));
    dlg.SetBtn->click();
    EXPECT_EQ(file, (TFileSetting{1, "/m.v2/run", "t1"}));

    file = {0, "", ""};
    dlg.SetupDialog(&fft, &file, &cancel);
    seam.fileNames = {std::string("")};
    EXPECT_FALSE(dlg.SelectDataFile());
    EXPECT_EQ(seam.asked.back().text, "*.DTA");
}

TEST_F(DialogsFFTSetting, ColourBoxes) {
    Open();
    seam.colors = {0x00FF0000, std::nullopt, 0x0000FF00};
    const QPointF p(5, 5); // a click on the box itself
    QMouseEvent press(QEvent::MouseButtonPress, p, p, Qt::LeftButton, Qt::LeftButton, {});
    QMouseEvent release(QEvent::MouseButtonRelease, p, p, Qt::LeftButton, Qt::NoButton, {});
    QApplication::sendEvent(dlg.PaintBox2, &press);
    QApplication::sendEvent(dlg.PaintBox2, &release);
    EXPECT_EQ(seam.asked.back().text, std::to_string(fft.PenColorMainAxis)); // the box's colour
    dlg.PaintBox3Click();                                                    // cancelled
    EXPECT_EQ(seam.asked.back().text, std::to_string(fft.PenColorSubAxis));
    dlg.PaintBox1Click();

    // 0x00BBGGRR: the box fills with blue, framed in black.
    const QImage img = dlg.PaintBox2->grab().toImage();
    EXPECT_EQ(img.pixelColor(10, 10), QColor(0, 0, 255));
    EXPECT_EQ(img.pixelColor(0, 0), QColor(Qt::black));

    dlg.SetBtn->click();
    EXPECT_EQ(fft.PenColorMainAxis, 0x00FF0000);
    EXPECT_EQ(fft.PenColorGraph, 0x0000FF00);
    EXPECT_EQ(fft.PenColorSubAxis, 12632256);
}

TEST_F(DialogsFFTSetting, ModalOpeningEndsWithSetOrEscape) {
    dlg.SetupDialog(&fft, &file, &cancel);
    QWidget* focused = nullptr;
    QTimer::singleShot(0, &dlg, [&] {
        focused = dlg.focusWidget();
        dlg.SetBtn->click();
    });
    EXPECT_EQ(dlg.exec(), QDialog::Accepted);
    EXPECT_EQ(focused, dlg.SetBtn); // first in the tab order
    EXPECT_EQ(cancel, 0);

    dlg.SetupDialog(&fft, &file, &cancel);
    dlg.CheckSigVolt->click();
    EXPECT_EQ(dlg.WorkSetting.fSig_Volt, 1);
    QTimer::singleShot(0, &dlg, [&] { dlg.reject(); });
    EXPECT_EQ(dlg.exec(), QDialog::Rejected);
    EXPECT_EQ(cancel, 1);
    EXPECT_EQ(fft.fSig_Volt, 0);
}

} // namespace
