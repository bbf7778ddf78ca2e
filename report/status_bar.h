// The main window's status bar: three panels side by side whose widths the program sets, and a
// click anywhere on it.
#pragma once

#include <QLabel>
#include <QWidget>
#include <array>

class TStatusBar : public QWidget {
    Q_OBJECT
public:
    static constexpr int PANEL_COUNT = 3;
    static constexpr int INITIAL_PANEL_WIDTH = 50;
    static constexpr int BAR_HEIGHT = 20;

    explicit TStatusBar(QWidget* parent = nullptr);

    void SetPanel(int index, const QString& text, int width);
    QString PanelText(int index) const;
    int PanelWidth(int index) const;
    // Width of a text in pixels in the bar's font.
    int TextWidth(const QString& text) const;

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    std::array<QLabel*, PANEL_COUNT> panels_{};
};
