#include "gui/StatusLine.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>

#include "device/DevicePresence.h"

namespace qb {

StatusLine::StatusLine(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("StatusLine"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 2, 8, 4);
    text_ = new QLabel(this);
    text_->setObjectName(QStringLiteral("PresenceText"));
    text_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    chooser_ = new QComboBox(this);
    chooser_->setObjectName(QStringLiteral("DeviceChooser"));
    chooser_->setAccessibleName(tr("Device the operations use"));
    chooser_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    chooser_->hide();
    progress_ = new QLabel(this);
    progress_->setObjectName(QStringLiteral("ProgressText"));
    progress_->hide();
    note_ = new QLabel(this);
    note_->setObjectName(QStringLiteral("NoteText"));
    note_->hide();
    backups_ = new QPushButton(tr("Backups..."), this);
    backups_->setObjectName(QStringLiteral("BackupsButton"));
    backups_->setAutoDefault(false);
    monitor_ = new QPushButton(tr("Serial monitor..."), this);
    monitor_->setObjectName(QStringLiteral("SerialMonitorButton"));
    monitor_->setAutoDefault(false);
    layout->addWidget(text_);
    layout->addWidget(chooser_);
    layout->addStretch(1);
    layout->addWidget(note_);
    layout->addWidget(progress_);
    layout->addWidget(backups_);
    layout->addWidget(monitor_);
    connect(chooser_, &QComboBox::activated, this,
            [this](int index) { emit deviceChosen(chooser_->itemData(index).toString().toStdString()); });
    connect(monitor_, &QPushButton::clicked, this, &StatusLine::monitorRequested);
    connect(backups_, &QPushButton::clicked, this, &StatusLine::backupsRequested);
}

void StatusLine::showPresence(const DevicePresence& presence) {
    const auto& encoders = presence.encoders();
    if (encoders.size() <= 1) {
        chooser_->hide();
        text_->setText(QString::fromStdU16String(presence.statusText()));
        return;
    }
    text_->setText(tr("%1 encoders attached; the operations use:").arg(encoders.size()));
    const QSignalBlocker quiet(chooser_);
    chooser_->clear();
    for (const AttachedEncoder& encoder : encoders)
        chooser_->addItem(QString::fromStdU16String(presence.describe(encoder)), QString::fromStdString(encoder.key));
    chooser_->setCurrentIndex(presence.chosen());
    chooser_->show();
}

void StatusLine::showProgress(int done, int planned, bool writing) {
    if (planned <= 0) {
        progress_->hide();
        return;
    }
    progress_->setText(
        (writing ? tr("Writing: %1 of %2 reports") : tr("Reading: %1 of %2 reports")).arg(done).arg(planned));
    progress_->show();
}

void StatusLine::showNote(const QString& note) {
    note_->setText(note);
    note_->setVisible(!note.isEmpty());
}

void StatusLine::setChoiceLocked(bool locked) {
    chooser_->setEnabled(!locked);
}

}  // namespace qb
