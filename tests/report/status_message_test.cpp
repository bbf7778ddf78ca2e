#include <gtest/gtest.h>

#include <QFontInfo>

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

TEST(ReportStatus, StartAndLinkFailuresNameTheirStepInPanelZero) {
    TStatusBar bar;
    TmyStatus st(&bar, "ZR4410QM");
    st.ShowFilterError();
    EXPECT_EQ(st.PanelText(0), "ZR4410QMのフィルタ設定ができませんでした");
    st.ShowRateError();
    EXPECT_EQ(st.PanelText(0), "ZR4410QMのサンプリングレート設定ができませんでした");
    st.ShowNameError();
    EXPECT_EQ(st.PanelText(0), "ZR4410QMのユニット名を読み出せませんでした");
    st.ShowVersionError();
    EXPECT_EQ(st.PanelText(0), "ZR4410QMのバージョンを読み出せませんでした");
    st.ShowLinkLost();
    EXPECT_EQ(st.PanelText(0), "ZR4410QMとの通信が途切れました");
    // What another unit sent reaches the panel as printable characters only.
    st.ShowWrongUnit(std::string("AB\r\x01\xFF", 5));
    EXPECT_EQ(st.PanelText(0), "接続されたユニット（AB???）はZR4410QMではありません");
}

TEST(ReportMessage, TheDiscardQuestionAndTheErrorBoxes) {
    FakeSeam seam;
    TmyMessage m(&seam, "ZR4410QM", "Kalvex");
    seam.answers = {false, true};
    EXPECT_FALSE(m.ConfirmDiscard());
    EXPECT_TRUE(m.ConfirmDiscard());
    ASSERT_EQ(seam.asked.size(), 2u);
    EXPECT_EQ(seam.asked[0].kind, "okcancel");
    EXPECT_EQ(seam.asked[0].caption, "Kalvex");
    EXPECT_EQ(seam.asked[0].text, "データを保存していませんが、破棄してもいいですか？");
    EXPECT_EQ(seam.asked[0].icon, TMsgIcon::Warning);
    m.ShowException("std::bad_alloc");
    EXPECT_EQ(seam.asked.back().text, "std::bad_alloc");
    EXPECT_EQ(seam.asked.back().icon, TMsgIcon::Error);
    EXPECT_EQ(TmyMessage::MemoryErrorText("FFTGraph"), "致命的なメモリエラーです:FFTGraph");
}

TEST(ReportStatus, APanelThatWouldRunOffTheBarShrinksItsTextNotItsUnit) {
    TStatusBar bar;
    bar.resize(812, TStatusBar::BAR_HEIGHT);
    TmyStatus st(&bar, "ZR4410QM");
    st.ShowUnitInfo("ZR4410QM", "1.00", "10ksps");
    st.ShowFinished();
    st.ShowCodeStats(2964274886u, 1329636019u, 607488192.0);
    const int w0 = bar.PanelWidth(0), w1 = bar.PanelWidth(1), w2 = bar.PanelWidth(2);
    EXPECT_TRUE(bar.PanelFits(0));
    EXPECT_TRUE(bar.PanelFits(1));
    // Everything inside the bar, panel 2 with the room that is left.
    EXPECT_LE(w0 + w1 + w2 + 2 * 2, 812);
    EXPECT_GT(w2, 300);
    const std::string full = st.PanelText(2);
    ASSERT_GT(bar.TextWidth(QString::fromStdString(full)) + 10, w2);
    EXPECT_FALSE(bar.PanelFits(2));
    // The text is kept whole and ends with its unit in the smaller font.
    EXPECT_EQ(full.substr(full.size() - 6), " digit");
    const auto* label = bar.findChildren<QLabel*>().at(2);
    EXPECT_EQ(label->text().toStdString(), full);
    EXPECT_LT(QFontInfo(label->font()).pixelSize(), QFontInfo(bar.font()).pixelSize());
    EXPECT_LE(QFontMetrics(label->font()).horizontalAdvance(label->text()), w2 - 10);
    EXPECT_EQ(label->toolTip().toStdString(), full);

    // A short text afterwards is back in the bar's font; clearing keeps the asked width.
    st.ShowMeasureError();
    EXPECT_TRUE(bar.PanelFits(2));
    EXPECT_EQ(QFontInfo(label->font()).pixelSize(), QFontInfo(bar.font()).pixelSize());
    EXPECT_TRUE(label->toolTip().isEmpty());
    st.ClearStatus();
    EXPECT_EQ(bar.PanelWidth(2), 110);
}
