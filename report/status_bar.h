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
    static constexpr int MIN_FONT_PIXELS = 8;

    explicit TStatusBar(QWidget* parent = nullptr);

    // The panel asks for width; a panel that would run past the bar's right edge gets the room
    // that is left, its text drawn smaller (and cut with "…" only when even the smallest font
    // does not fit), the whole text in its tool tip.
    void SetPanel(int index, const QString& text, int width);
    QString PanelText(int index) const;
    // The width the panel has on the bar, and the width it asked for.
    int PanelWidth(int index) const;
    int PanelWantedWidth(int index) const;
    // Width of a text in pixels in the bar's font.
    int TextWidth(const QString& text) const;
    // Whether the panel's whole text is shown in the bar's own font.
    bool PanelFits(int index) const;

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void Relayout();

    std::array<QLabel*, PANEL_COUNT> panels_{};
    std::array<QString, PANEL_COUNT> texts_{};
    std::array<int, PANEL_COUNT> wanted_{};
    std::array<bool, PANEL_COUNT> fits_{};
};
