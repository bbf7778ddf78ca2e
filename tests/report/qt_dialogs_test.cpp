// Qt's own dialogs: Japanese texts and the colour dialog's starting colour.
#include <gtest/gtest.h>

#include <QApplication>
#include <QColorDialog>
#include <QTimer>

#include "qt_dialogs.h"

TEST(QtDialogs, QtsOwnTextsAreJapaneseOnceInstalled) {
    // A folder without the translations is reported, and nothing changes.
    EXPECT_FALSE(InstallQtTranslations(qApp, QStringLiteral("/nonexistent")));
    EXPECT_EQ(QCoreApplication::translate("QFileDialog", "&Open"), QStringLiteral("&Open"));
    EXPECT_FALSE(InstallQtTranslations(nullptr));
    if (!InstallQtTranslations(qApp)) GTEST_SKIP() << "qtbase_ja.qm is not installed";
    for (const auto& [context, text] :
         {std::pair{"QFileDialog", "&Open"}, std::pair{"QColorDialog", "&Basic colors"},
          std::pair{"QPrintDialog", "Print"}, std::pair{"QPlatformTheme", "Cancel"}}) {
        const QString shown = QCoreApplication::translate(context, text);
        EXPECT_NE(shown, QString::fromUtf8(text)) << context << " " << text;
        // Japanese: at least one character beyond Latin-1.
        EXPECT_TRUE(std::any_of(shown.begin(), shown.end(), [](QChar c) {
            return c.unicode() > 0xFF;
        })) << shown.toStdString();
    }
}

TEST(QtDialogs, TheColourDialogStartsOnTheColourGiven) {
    TQtDialogSeam seam;
    QColor shown;
    // 0x00BBGGRR: red 0x12, green 0x34, blue 0x56.
    QTimer::singleShot(0, [&shown] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<QColorDialog*>(w); d && d->isVisible()) {
                shown = d->currentColor();
                d->reject();
            }
    });
    EXPECT_FALSE(seam.getColor(0x563412).has_value());
    EXPECT_EQ(shown, QColor(0x12, 0x34, 0x56));

    QTimer::singleShot(0, [] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<QColorDialog*>(w); d && d->isVisible()) {
                d->setCurrentColor(QColor(0xAB, 0xCD, 0xEF));
                d->accept();
            }
    });
    EXPECT_EQ(seam.getColor(0), 0xEFCDAB);
}
