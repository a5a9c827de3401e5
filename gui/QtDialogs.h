// The window's modal message boxes and its two file dialogs, behind the interfaces the flows use.
#pragma once

#include <filesystem>
#include <optional>

#include <QString>
#include <QStringList>

#include "config/FileFlows.h"
#include "config/UserSink.h"

class QMessageBox;
class QWidget;

namespace qb {

// Message boxes without a title of their own; the tool's "\r" and "\r\n" line breaks show as lines.
class QtUserSink : public UserSink {
public:
    explicit QtUserSink(QWidget* parent) : parent_(parent) {}
    void showError(const std::u16string& text) override;
    void showInformation(const std::u16string& text) override;
    // Yes is the default button; Esc and the close box count as Cancel.
    Answer askYesNoCancel(const std::u16string& text) override;

private:
    QWidget* parent_;
};

// What a file dialog offers: the extension a bare name gets and the filters, the first one selected.
struct FileDialogSettings {
    QString defaultExt;
    QStringList filters;
};

// OpenDialog1 and SaveDialog1. A typed name need not exist when opening; saving replaces a file without asking.
class QtFileChooser : public FileChooser {
public:
    explicit QtFileChooser(QWidget* parent) : parent_(parent) {}
    std::optional<std::filesystem::path> chooseFileToOpen() override;
    std::optional<std::filesystem::path> chooseFileToSave() override;

    const FileDialogSettings OpenDialog1{QStringLiteral("dat"),
                                         {QStringLiteral("Data files (*.dat)"), QStringLiteral("All files (*)")}};
    const FileDialogSettings SaveDialog1{QStringLiteral("dat"),
                                         {QStringLiteral("Data Files (*.dat)"), QStringLiteral("All Files (*)")}};

private:
    std::optional<std::filesystem::path> run(const FileDialogSettings& settings, bool save);

    QWidget* parent_;
};

// A name typed without an extension gets `.<defaultExt>`; a name with one is kept. For the open dialog an
// existing file of exactly the typed name is kept too.
std::filesystem::path WithDefaultExtension(const std::filesystem::path& chosen, const QString& defaultExt,
                                           bool keepExisting);
// A file name as the platform's file functions take it.
std::filesystem::path ToPath(const QString& name);
// Makes a box wide enough that a window manager shows its whole title (the application's name when it has none)
// beside the title bar's icon and buttons: a box of a short message is narrower than that, and its title is cut.
void FitTitle(QMessageBox& box);
// The text of a box: the tool's line breaks as lines.
QString DisplayText(const std::u16string& text);

}  // namespace qb
