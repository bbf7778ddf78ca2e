// Small controls shared by the settings dialogs: a radio group with an item index, and a colour
// box that fills itself with a 0x00BBGGRR colour.
#pragma once

#include <QButtonGroup>
#include <QGroupBox>
#include <QRadioButton>
#include <QStringList>
#include <QWidget>

#include <cstdint>
#include <optional>
#include <vector>

// A titled group of radio buttons stacked evenly under the caption. changed() fires whenever the
// selection changes, from the user or from code.
class TRadioGroup : public QGroupBox {
    Q_OBJECT
public:
    TRadioGroup(const QString& caption, const QStringList& items, QWidget* parent);

    int ItemIndex() const;
    void SetItemIndex(int index); // -1 clears the selection
    QRadioButton* Button(int index) const { return buttons_.at(static_cast<size_t>(index)); }
    int Count() const { return static_cast<int>(buttons_.size()); }

signals:
    void changed();

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    void Arrange();
    std::vector<QRadioButton*> buttons_;
    QButtonGroup group_;
};

// A box painted with one colour and framed with a black pen; clicked() on a mouse click.
class TColorBox : public QWidget {
    Q_OBJECT
public:
    explicit TColorBox(QWidget* parent);

    void SetColor(int32_t bgr);
    std::optional<int32_t> Color() const { return color_; }

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    std::optional<int32_t> color_; // nothing is painted before the first colour
    bool pressed_ = false;
};

// 0x00BBGGRR to a QColor.
QColor ColorFromBGR(int32_t bgr);

// Moves a top-level widget to the middle of its screen's available area.
void CentreOnDesktop(QWidget* w);
