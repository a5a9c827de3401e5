#include "gui/StatusLine.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

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
    connect(chooser_, &QComboBox::activated, this, &StatusLine::deviceChosen);
    connect(monitor_, &QPushButton::clicked, this, &StatusLine::monitorRequested);
    connect(backups_, &QPushButton::clicked, this, &StatusLine::backupsRequested);
}

}  // namespace qb
