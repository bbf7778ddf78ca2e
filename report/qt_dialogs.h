// The dialog seam on Qt: message boxes, file and colour dialogs, modal over a parent window.
#pragma once

#include <QString>
#include <QStringList>

#include "dialog_seam.h"

class QCoreApplication;
class QWidget;

// Loads Qt's own Japanese texts (file, print, colour dialogs, standard buttons) from Qt's
// translations folder, or from folder when given; false when they are not installed.
bool InstallQtTranslations(QCoreApplication* app, const QString& folder = QString());

class TQtDialogSeam : public TDialogSeam {
public:
    explicit TQtDialogSeam(QWidget* parent = nullptr) : parent_(parent) {}
    void SetParent(QWidget* parent) { parent_ = parent; }

    bool askYesNo(const std::string& caption, const std::string& text, TMsgIcon icon) override;
    bool askOkCancel(const std::string& caption, const std::string& text, TMsgIcon icon) override;
    void showMessage(const std::string& caption, const std::string& text, TMsgIcon icon) override;
    std::optional<std::string> getSaveFileName(const std::string& filter,
                                               const std::string& initialName) override;
    std::optional<std::string> getOpenFileName(const std::string& filter,
                                               const std::string& initialName) override;
    std::optional<int32_t> getColor(int32_t initial) override;

    // "Data files (*.DTA)|*.DTA" as Qt name filters; patterns match either letter case.
    static QStringList NameFilters(const std::string& filter);

private:
    std::optional<std::string> FileDialog(bool save, const std::string& filter,
                                          const std::string& initialName);
    QWidget* parent_;
};
