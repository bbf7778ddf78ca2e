#include <gtest/gtest.h>

#include "fake_seam.h"
#include "mymessage.h"
#include "mystatus.h"
#include "status_bar.h"

TEST(ReportStatus, PanelWidthFollowsTheTextWidth) {
    TStatusBar bar;
    TmyStatus st(&bar, "ZR4410QM");
    EXPECT_EQ(bar.PanelWidth(1), 50);
    st.ShowMeasuring();
    EXPECT_EQ(st.PanelText(1), "計測中です");
    EXPECT_EQ(bar.PanelWidth(1), 110);
    st.ShowLevelError();
    const int w = bar.TextWidth(QString::fromStdString(st.PanelText(2)));
    ASSERT_GT(w, 100);
    EXPECT_EQ(bar.PanelWidth(2), w + 10);
    // Index 3 is beyond the last panel.
    st.SetPanelText("x", 3);
    EXPECT_EQ(st.PanelText(1), "計測中です");
    // Clearing empties panels 1 and 2 and keeps their widths.
    st.ClearStatus();
    EXPECT_EQ(st.PanelText(1), "");
    EXPECT_EQ(st.PanelText(2), "");
    EXPECT_EQ(bar.PanelWidth(2), w + 10);
}

TEST(ReportStatus, EveryFixedAndFormattedText) {
    TStatusBar bar;
    TmyStatus st(&bar, "ZR4410QM");
    st.ShowUnitInfo("ZR4410QM", "1.02", "10ksps");
    EXPECT_EQ(st.PanelText(0), "ZR4410QM/ 1.02/ 10ksps");
    st.ShowNotFound();
    EXPECT_EQ(st.PanelText(0), "ZR4410QMが見つかりませんでした");
    st.ShowNoResponse();
    EXPECT_EQ(st.PanelText(0), "ZR4410QM応答しませんでした");
    st.ShowSendError();
    EXPECT_EQ(st.PanelText(0), "コマンド送信エラーです");
    st.ShowFinished();
    EXPECT_EQ(st.PanelText(1), "計測終了しました");
    st.ShowStopped();
    EXPECT_EQ(st.PanelText(1), "計測中止しました");
    st.ShowDataLoaded();
    EXPECT_EQ(st.PanelText(1), "データファイル読み込みました");
    st.ShowRefLoaded();
    EXPECT_EQ(st.PanelText(1), "参照データを読み込みました");
    st.ShowStarting();
    EXPECT_EQ(st.PanelText(2), "測定開始処理中です。。。");
    st.ShowMeasureError();
    EXPECT_EQ(st.PanelText(2), "計測エラーで終了");
    st.ShowProgress(4096, 2147483648u);
    EXPECT_EQ(st.PanelText(2), "データ番号：4096 / AD変換値：2147483648");
    st.ShowCodeStats(2147500000u, 2147400000u, 99.96);
    EXPECT_EQ(
        st.PanelText(2),
        "最大値：2147500000 / 最小値：2147400000 / pp値：100000 digit / 標準偏差：100.0 digit");
    st.ShowVoltStats(2500000.0, -3.2, 0.25);
    EXPECT_EQ(st.PanelText(2),
              "最大値：2.500 V　/最小値：-3.200 uV　/p-p値：2.500 V / 標準偏差：250.000 nV");
}

TEST(ReportMessage, BoxesCarryTheirTextsIconsAndCaption) {
    FakeSeam seam;
    TmyMessage m(&seam, "ZR4410QM", "Kalvex");
    m.ShowMemoryError("TQV_Print");
    m.ShowNotFound();
    m.ShowNoResponse();
    m.ShowInitSaveError();
    m.ShowDataFileError();
    m.ShowLevelError();
    m.ShowNoData();
    ASSERT_EQ(seam.asked.size(), 7u);
    for (const auto& a : seam.asked) {
        EXPECT_EQ(a.kind, "message");
        EXPECT_EQ(a.caption, "Kalvex");
    }
    EXPECT_EQ(seam.asked[0].text, "致命的なメモリエラーです:TQV_Print");
    EXPECT_EQ(seam.asked[0].icon, TMsgIcon::Error);
    EXPECT_EQ(seam.asked[1].text, "ZR4410QMが見つかりませんでした");
    EXPECT_EQ(seam.asked[2].text, "ZR4410QMが応答しませんでした");
    EXPECT_EQ(seam.asked[3].text, "初期設定ファイルを保存できませんでした");
    EXPECT_EQ(seam.asked[3].icon, TMsgIcon::Warning);
    EXPECT_EQ(seam.asked[4].text, "データファイルの内容が正しくありませんでした");
    EXPECT_EQ(seam.asked[5].icon, TMsgIcon::Warning);
    EXPECT_EQ(seam.asked[6].text, "データがありません");
}
