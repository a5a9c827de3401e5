// "Backups...": the backups of what a device held before each write, newest first; one can be written back into
// the device or loaded into the window. Also how the window keeps such a backup.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include <QDialog>

#include "protocol/Outcome.h"

class QLabel;
class QListWidget;
class QPushButton;

namespace qb {

class BackupsDialog : public QDialog {
    Q_OBJECT
public:
    explicit BackupsDialog(QWidget* parent);

    // Lists the backups of the device with serial number `serial` (all when empty) in the backup folder, newest
    // first; the first is chosen.
    void showBackups(const std::optional<std::string>& serial);
    // The backup chosen in the list, if any.
    std::optional<std::filesystem::path> chosen() const;

signals:
    // `settingsOnly`: the backup's messages were not read (they are the defaults).
    void writeBackRequested(const QString& path, bool settingsOnly);
    void loadRequested(const QString& path);

private:
    void updateButtons();

    QLabel* heading_ = nullptr;
    QListWidget* list_ = nullptr;
    QPushButton* writeBack_ = nullptr;
    QPushButton* load_ = nullptr;
};

}  // namespace qb
