#include "gui/BackupsDialog.h"

#include <chrono>

#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "config/Backups.h"
#include "config/Text.h"
#include "protocol/Operations.h"
#include "protocol/Reports.h"

namespace qb {

namespace {
constexpr int kMessagesReadRole = Qt::UserRole + 1;
}

BackupsDialog::BackupsDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("BackupsDialog"));
    setWindowTitle(tr("Backups"));
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    heading_ = new QLabel(this);
    heading_->setObjectName(QStringLiteral("BackupsHeading"));
    heading_->setWordWrap(true);
    heading_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(heading_);
    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("BackupsList"));
    list_->setMinimumWidth(420);
    layout->addWidget(list_);
    auto* buttons = new QHBoxLayout;
    writeBack_ = new QPushButton(tr("Write back"), this);
    writeBack_->setObjectName(QStringLiteral("WriteBackButton"));
    load_ = new QPushButton(tr("Load into window"), this);
    load_->setObjectName(QStringLiteral("LoadBackupButton"));
    auto* close = new QPushButton(tr("Close"), this);
    for (QPushButton* b : {writeBack_, load_, close}) b->setAutoDefault(false);
    buttons->addWidget(writeBack_);
    buttons->addWidget(load_);
    buttons->addStretch(1);
    buttons->addWidget(close);
    layout->addLayout(buttons);
    connect(list_, &QListWidget::currentRowChanged, this, &BackupsDialog::updateButtons);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    const auto path = [this] { return list_->currentItem()->data(Qt::UserRole).toString(); };
    connect(writeBack_, &QPushButton::clicked, this,
            [this, path] { emit writeBackRequested(path(), !list_->currentItem()->data(kMessagesReadRole).toBool()); });
    connect(load_, &QPushButton::clicked, this, [this, path] { emit loadRequested(path()); });
    updateButtons();
}

void BackupsDialog::showBackups(const std::optional<std::string>& serial) {
    list_->clear();
    const BackupDir dir = DefaultBackupDir();
    const BackupList backups = dir.error.empty() ? ListBackups(dir.path, serial) : BackupList{{}, dir.error};
    const QString folder = QString::fromStdU16String(dir.path.u16string());
    if (!backups.error.empty()) {
        heading_->setText(tr("The backups cannot be listed: %1").arg(QString::fromStdString(backups.error)));
    } else if (backups.entries.empty()) {
        heading_->setText(serial ? tr("No backups of the device with serial number %1 in %2.")
                                       .arg(QString::fromStdString(*serial), folder)
                                 : tr("No backups in %1.").arg(folder));
    } else {
        heading_->setText(
            serial
                ? tr("Backups of the device with serial number %1, newest first:").arg(QString::fromStdString(*serial))
                : tr("Backups of every device, newest first:"));
    }
    for (const BackupEntry& e : backups.entries) {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(e.time.time_since_epoch()).count();
        QString text = QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        if (e.sequence > 1) text += QStringLiteral(" (%1)").arg(e.sequence);
        if (!serial) text += tr("  serial %1").arg(QString::fromStdString(e.serial));
        text += e.messagesRead.value_or(true) ? tr("  settings and messages") : tr("  settings only");
        auto* item = new QListWidgetItem(text, list_);
        item->setData(Qt::UserRole, QString::fromStdU16String(e.path.u16string()));
        item->setData(kMessagesReadRole, e.messagesRead.value_or(true));
        item->setToolTip(item->data(Qt::UserRole).toString());
    }
    list_->setCurrentRow(backups.entries.empty() ? -1 : 0);
    updateButtons();
}

std::optional<std::filesystem::path> BackupsDialog::chosen() const {
    if (!list_->currentItem()) return std::nullopt;
    return std::filesystem::path(list_->currentItem()->data(Qt::UserRole).toString().toStdU16String());
}

void BackupsDialog::updateButtons() {
    const bool any = list_->currentItem() != nullptr;
    writeBack_->setEnabled(any);
    load_->setEnabled(any);
}

}  // namespace qb
