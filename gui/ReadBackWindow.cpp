#include "gui/ReadBackWindow.h"

#include <algorithm>

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QVBoxLayout>

namespace qb {

ReadBackWindow::ReadBackWindow(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("ReadBackWindow"));
    setWindowTitle(tr("What the device holds"));
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    heading_ = new QLabel(this);
    heading_->setWordWrap(true);
    layout->addWidget(heading_);
    table_ = new QTableWidget(0, 3, this);
    table_->setObjectName(QStringLiteral("ReadBackTable"));
    table_->setHorizontalHeaderLabels({QString(), tr("This window"), tr("The device")});
    table_->verticalHeader()->hide();
    // Rows as high as their text needs: all sixteen messages and the settings fit without scrolling.
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 8);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionMode(QAbstractItemView::NoSelection);
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table_->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(table_);
    messagesNote_ = new QLabel(this);
    messagesNote_->setObjectName(QStringLiteral("MessagesNote"));
    messagesNote_->setWordWrap(true);
    layout->addWidget(messagesNote_);

    auto* buttons = new QHBoxLayout;
    takeOver_ = new QPushButton(tr("Use the device's values"), this);
    takeOver_->setObjectName(QStringLiteral("TakeOverButton"));
    auto* close = new QPushButton(tr("Close"), this);
    buttons->addStretch();
    buttons->addWidget(takeOver_);
    buttons->addWidget(close);
    layout->addLayout(buttons);
    connect(takeOver_, &QPushButton::clicked, this, &ReadBackWindow::takeOverRequested);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    resize(560, 620);
}

void ReadBackWindow::fitRows() {
    // The table's height for every row, within the screen; the user may make the window smaller afterwards.
    int rows = table_->horizontalHeader()->sizeHint().height() + 2 * table_->frameWidth();
    for (int r = 0; r < table_->rowCount(); ++r) rows += table_->rowHeight(r);
    const QScreen* where = screen();
    const int room = where ? where->availableGeometry().height() * 9 / 10 : 1000;
    table_->setMinimumHeight(rows);
    layout()->activate();
    resize(width(), std::min(layout()->sizeHint().height(), room));
    table_->setMinimumHeight(std::min(rows, 120));
}

void ReadBackWindow::show(const Comparison& comparison) {
    int differing = 0;
    table_->setRowCount(static_cast<int>(comparison.rows.size()));
    for (int r = 0; r < table_->rowCount(); ++r) {
        const ComparisonRow& row = comparison.rows[static_cast<std::size_t>(r)];
        differing += row.differs;
        const QString mark = row.differs ? QStringLiteral("\u2260 ") : QString();  // readable without colour
        const QStringList cells{mark + QString::fromStdString(row.name), QString::fromStdString(row.window),
                                QString::fromStdString(row.device)};
        for (int c = 0; c < 3; ++c) {
            auto* item = new QTableWidgetItem(cells[c]);
            if (row.differs) {
                QFont bold = item->font();
                bold.setBold(true);
                item->setFont(bold);
                item->setBackground(QColor(255, 236, 160));
                item->setToolTip(tr("The window and the device differ here"));
            }
            table_->setItem(r, c, item);
        }
    }
    heading_->setText(differing == 0   ? tr("The device holds what this window holds.")
                      : differing == 1 ? tr("The device and this window differ in one row, marked.")
                                       : tr("The device and this window differ in %1 rows, marked.").arg(differing));
    if (!comparison.messagesRead)
        messagesNote_->setText(
            tr("The messages were not read: turn on \"Read messages too\" to read them (the "
               "device's firmware must serve the message blocks)."));
    else if (!comparison.messagesProblem.empty())
        messagesNote_->setText(tr("The device's messages cannot be shown: %1. Its firmware may not serve the message "
                                  "blocks.")
                                   .arg(QString::fromStdString(comparison.messagesProblem)));
    else
        messagesNote_->clear();
    messagesNote_->setVisible(!messagesNote_->text().isEmpty());
    takeOver_->setEnabled(differing > 0);
    if (!isVisible()) fitRows();
    QDialog::show();
    raise();
}

}  // namespace qb
