#include "gui/QtDialogs.h"

#include <QFile>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGuiApplication>
#include <QMessageBox>

#include "config/Text.h"

namespace qb {

QString DisplayText(const std::u16string& text) {
    return QString::fromStdU16String(NormaliseLineBreaks(text));
}

std::filesystem::path ToPath(const QString& name) {
#ifdef _WIN32
    return std::filesystem::path(name.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(name).toStdString());
#endif
}

void FitTitle(QMessageBox& box) {
    const QString title = box.windowTitle().isEmpty() ? QGuiApplication::applicationDisplayName() : box.windowTitle();
    // The window manager draws the title in a font of its own, often bold and larger, and puts an icon and up to
    // three buttons beside it: a quarter more than our bold width, and room for four of its buttons.
    QFont font = box.font();
    font.setBold(true);
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(title) * 5 / 4 + 8 * metrics.height();
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (!grid) return;
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0, 1,
                  grid->columnCount());
}

void QtUserSink::showError(const std::u16string& text) {
    QMessageBox box(QMessageBox::Critical, QString(), DisplayText(text), QMessageBox::Ok, parent_);
    FitTitle(box);
    box.exec();
}

void QtUserSink::showInformation(const std::u16string& text) {
    QMessageBox box(QMessageBox::Information, QString(), DisplayText(text), QMessageBox::Ok, parent_);
    FitTitle(box);
    box.exec();
}

Answer QtUserSink::askYesNoCancel(const std::u16string& text) {
    QMessageBox box(QMessageBox::Question, QString(), DisplayText(text),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, parent_);
    box.setDefaultButton(QMessageBox::Yes);
    // Dismissing the question (Esc, the close box) must not throw the changes away.
    box.setEscapeButton(QMessageBox::Cancel);
    FitTitle(box);
    box.exec();
    switch (box.standardButton(box.clickedButton())) {
        case QMessageBox::Yes:
            return Answer::Yes;
        case QMessageBox::Cancel:
            return Answer::Cancel;
        default:
            return Answer::No;
    }
}

std::filesystem::path WithDefaultExtension(const std::filesystem::path& chosen, const QString& defaultExt,
                                           bool keepExisting) {
    if (chosen.empty() || defaultExt.isEmpty() || chosen.has_extension()) return chosen;
    std::error_code ec;
    if (keepExisting && std::filesystem::exists(chosen, ec)) return chosen;
    std::filesystem::path result = chosen;
    result += ToPath(QLatin1Char('.') + defaultExt);
    return result;
}

std::optional<std::filesystem::path> QtFileChooser::chooseFileToOpen() {
    return run(OpenDialog1, false);
}

std::optional<std::filesystem::path> QtFileChooser::chooseFileToSave() {
    return run(SaveDialog1, true);
}

std::optional<std::filesystem::path> QtFileChooser::run(const FileDialogSettings& settings, bool save) {
    QFileDialog dialog(parent_);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);
    if (save) dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setNameFilters(settings.filters);
    dialog.selectNameFilter(settings.filters.value(0));
    dialog.setDefaultSuffix(settings.defaultExt);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.first().isEmpty()) return std::nullopt;
    return WithDefaultExtension(ToPath(chosen.first()), settings.defaultExt, !save);
}

}  // namespace qb
