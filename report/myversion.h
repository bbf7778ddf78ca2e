// TFormVersion: the about box. Paints the product name and version, the maker and its web
// address; a click anywhere closes it.
#pragma once

#include <QDialog>
#include <QString>

class TFormVersion : public QDialog {
    Q_OBJECT
public:
    static constexpr int CLIENT_WIDTH = 192;
    static constexpr int CLIENT_HEIGHT = 93;

    explicit TFormVersion(QWidget* parent = nullptr);

    static QString GetProductName() { return QStringLiteral("Kalvex"); }
    static QString GetVersionText() { return QStringLiteral("v1.1"); }
    static QString MakerName();
    static QString MakerAddress();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;
};
