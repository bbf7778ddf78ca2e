#include "qt_dialogs.h"

#include <QColorDialog>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QTranslator>

namespace {

QMessageBox::Icon ToQt(TMsgIcon icon) {
    switch (icon) {
    case TMsgIcon::Information:
        return QMessageBox::Information;
    case TMsgIcon::Warning:
        return QMessageBox::Warning;
    case TMsgIcon::Error:
        return QMessageBox::Critical;
    case TMsgIcon::Question:
        return QMessageBox::Question;
    case TMsgIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

int Ask(QWidget* parent, const std::string& caption, const std::string& text, TMsgIcon icon,
        QMessageBox::StandardButtons buttons, QMessageBox::StandardButton def) {
    QMessageBox box(ToQt(icon), QString::fromStdString(caption), QString::fromStdString(text),
                    buttons, parent);
    box.setDefaultButton(def);
    return box.exec();
}

} // namespace

bool InstallQtTranslations(QCoreApplication* app, const QString& folder) {
    if (!app) return false;
    const QString dir =
        folder.isEmpty() ? QLibraryInfo::path(QLibraryInfo::TranslationsPath) : folder;
    auto* tr = new QTranslator(app);
    // qtbase_ja covers the widgets and print support; it pulls in nothing else.
    if (!tr->load(QStringLiteral("qtbase_ja"), dir)) {
        delete tr;
        return false;
    }
    return QCoreApplication::installTranslator(tr);
}

bool TQtDialogSeam::askYesNo(const std::string& caption, const std::string& text, TMsgIcon icon) {
    return Ask(parent_, caption, text, icon, QMessageBox::Yes | QMessageBox::No,
               QMessageBox::Yes) == QMessageBox::Yes;
}

bool TQtDialogSeam::askOkCancel(const std::string& caption, const std::string& text,
                                TMsgIcon icon) {
    return Ask(parent_, caption, text, icon, QMessageBox::Ok | QMessageBox::Cancel,
               QMessageBox::Ok) == QMessageBox::Ok;
}

void TQtDialogSeam::showMessage(const std::string& caption, const std::string& text,
                                TMsgIcon icon) {
    Ask(parent_, caption, text, icon, QMessageBox::Ok, QMessageBox::Ok);
}

QStringList TQtDialogSeam::NameFilters(const std::string& filter) {
    QStringList out;
    const QStringList parts = QString::fromStdString(filter).split('|');
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString& p : parts[i + 1].split(';', Qt::SkipEmptyParts)) {
            patterns << p;
            if (p.toLower() != p) patterns << p.toLower();
        }
        QString label = parts[i];
        const qsizetype paren = label.indexOf('(');
        if (paren >= 0) label = label.left(paren).trimmed();
        out << QStringLiteral("%1 (%2)").arg(label, patterns.join(' '));
    }
    if (out.isEmpty()) out << QStringLiteral("*");
    return out;
}

std::optional<std::string> TQtDialogSeam::FileDialog(bool save, const std::string& filter,
                                                     const std::string& initialName) {
    QFileDialog dlg(parent_);
    dlg.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dlg.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    // The writers ask before they replace a file; the dialog must not ask a second time.
    dlg.setOption(QFileDialog::DontConfirmOverwrite, true);
    dlg.setNameFilters(NameFilters(filter));
    const QString initial = QString::fromStdString(initialName);
    // "*.DTA" only says which files to list; a real name preselects its folder and name.
    if (!initial.isEmpty() && !initial.startsWith('*')) {
        const QFileInfo info(initial);
        if (info.dir().exists()) dlg.setDirectory(info.absolutePath());
        dlg.selectFile(info.fileName());
    }
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return std::nullopt;
    return dlg.selectedFiles().front().toStdString();
}

std::optional<std::string> TQtDialogSeam::getSaveFileName(const std::string& filter,
                                                          const std::string& initialName) {
    return FileDialog(true, filter, initialName);
}

std::optional<std::string> TQtDialogSeam::getOpenFileName(const std::string& filter,
                                                          const std::string& initialName) {
    return FileDialog(false, filter, initialName);
}

std::optional<int32_t> TQtDialogSeam::getColor(int32_t initial) {
    const auto bgr = static_cast<uint32_t>(initial);
    const QColor start(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                       static_cast<int>((bgr >> 16) & 0xFF));
    const QColor c = QColorDialog::getColor(start, parent_);
    if (!c.isValid()) return std::nullopt;
    return static_cast<int32_t>(static_cast<uint32_t>(c.red()) |
                                (static_cast<uint32_t>(c.green()) << 8) |
                                (static_cast<uint32_t>(c.blue()) << 16));
}
