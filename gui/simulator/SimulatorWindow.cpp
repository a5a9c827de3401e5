#include "gui/simulator/SimulatorWindow.h"

#include <chrono>

#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include "config/KeyTable.h"
#include "simulator/SimulatedDevice.h"

namespace qb {

SimulatorWindow::SimulatorWindow(SimulatedDevice& device, QWidget* parent) : QWidget(parent), device_(device) {
    setObjectName(QStringLiteral("SimulatorWindow"));
    setWindowTitle(tr("Simulated device"));
    // Closing the main window ends the program even while this one is open.
    setAttribute(Qt::WA_QuitOnClose, false);

    auto* layout = new QVBoxLayout(this);

    auto* padBox = new QGroupBox(tr("Keypad (press and hold a key)"), this);
    auto* grid = new QGridLayout(padBox);
    for (const KeyInfo& key : kKeys) {
        auto* button = new QPushButton(QString(QChar(key.legend)), padBox);
        button->setObjectName(QStringLiteral("SimKey%1").arg(QLatin1String(key.suffix)));
        button->setAccessibleName(
            tr("Simulated key %1, row %2, column %3").arg(QChar(key.legend)).arg(key.row).arg(key.column));
        button->setFixedSize(40, 32);
        grid->addWidget(button, key.row - 1, key.column - 1);
        pad_.at(key.keyNumber - 1) = button;
        const int number = key.keyNumber;
        connect(button, &QPushButton::pressed, this, [this, number] {
            if (!latch_->isChecked()) holdKey(number, true);
        });
        connect(button, &QPushButton::released, this, [this, number] {
            if (!latch_->isChecked()) holdKey(number, false);
        });
        connect(button, &QPushButton::clicked, this, [this, number](bool checked) {
            if (latch_->isChecked()) holdKey(number, checked);
        });
    }
    latch_ = new QCheckBox(tr("Keys stay down until clicked again"), padBox);
    latch_->setObjectName(QStringLiteral("SimLatch"));
    grid->addWidget(latch_, 4, 0, 1, 4);
    connect(latch_, &QCheckBox::toggled, this, [this](bool latch) {
        for (QPushButton* button : pad_) button->setCheckable(latch);
        holdKey(0, false);
    });
    layout->addWidget(padBox);

    auto* deviceBox = new QGroupBox(tr("Device"), this);
    auto* form = new QFormLayout(deviceBox);
    plugged_ = new QCheckBox(tr("Plugged in"), deviceBox);
    plugged_->setObjectName(QStringLiteral("SimPlugged"));
    plugged_->setChecked(device_.pluggedIn());
    connect(plugged_, &QCheckBox::toggled, this, &SimulatorWindow::setPlugged);
    form->addRow(plugged_);
    programMode_ = new QCheckBox(tr("Program mode"), deviceBox);
    programMode_->setObjectName(QStringLiteral("SimProgramMode"));
    connect(programMode_, &QCheckBox::toggled, this, &SimulatorWindow::setProgramMode);
    form->addRow(programMode_);
    delay_ = new QSpinBox(deviceBox);
    delay_->setObjectName(QStringLiteral("SimAnswerDelay"));
    delay_->setRange(0, 5000);
    delay_->setSingleStep(50);
    delay_->setSuffix(tr(" ms"));
    delay_->setAccessibleName(tr("Answer delay"));
    connect(delay_, &QSpinBox::valueChanged, this,
            [this](int ms) { device_.setAnswerDelay(std::chrono::milliseconds(ms)); });
    form->addRow(tr("Answer delay"), delay_);
    drop_ = new QPushButton(tr("Drop the next answer"), deviceBox);
    drop_->setObjectName(QStringLiteral("SimDropAnswer"));
    connect(drop_, &QPushButton::clicked, this, [this] { device_.dropNextAnswers(1); });
    form->addRow(drop_);
    layout->addWidget(deviceBox);

    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("SimStatus"));
    layout->addWidget(status_);

    refresh_ = new QTimer(this);
    refresh_->setInterval(200);
    connect(refresh_, &QTimer::timeout, this, &SimulatorWindow::refreshStatus);
    refresh_->start();
    refreshStatus();
}

void SimulatorWindow::placeBeside(const QWidget& main) {
    adjustSize();
    const QRect frame = main.frameGeometry();
    move(frame.right() + 12, frame.top());
}

void SimulatorWindow::holdKey(int keyNumber, bool down) {
    held_ = down ? keyNumber : 0;
    // One key at a time: the device reports a single key number.
    for (int n = 1; n <= static_cast<int>(pad_.size()); ++n) {
        QPushButton* button = pad_.at(n - 1);
        if (button->isCheckable() && button->isChecked() != (n == held_)) button->setChecked(n == held_);
    }
    device_.setKeyDown(held_);
    refreshStatus();
}

void SimulatorWindow::setPlugged(bool plugged) {
    if (plugged)
        device_.replug();
    else
        device_.unplug();
    refreshStatus();
}

void SimulatorWindow::setProgramMode(bool on) {
    device_.setRelease(on ? kProgramModeRelease : kApplicationRelease);
    // The device comes back in its other mode: it re-enumerates, so an open connection is lost.
    if (device_.pluggedIn()) {
        device_.unplug();
        device_.replug();
    }
    refreshStatus();
}

void SimulatorWindow::refreshStatus() {
    const SimulatedDeviceCounters c = device_.counters();
    const QString key = held_ ? QString(QChar(KeyByNumber(held_)->legend)) : tr("none");
    status_->setText(tr("%1, %2 mode\nReports received: %3\nKey down: %4")
                         .arg(device_.pluggedIn() ? tr("Plugged in") : tr("Unplugged"),
                              programMode_->isChecked() ? tr("program") : tr("application"))
                         .arg(c.reportsReceived)
                         .arg(key));
}

}  // namespace qb
