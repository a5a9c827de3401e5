// TMainForm: the status line (presence and the device choice), the serial monitor, and the 50 ms timer that
// runs only while an operation needs it.
#include <QComboBox>
#include <QRadioButton>
#include <QTimer>

#include "gui/bus/BusWatchers.h"
#include "gui/CursorBlinkLimit.h"
#include "gui/Mainunit.h"
#include "gui/monitor/SerialMonitor.h"
#include "gui/SerialSettingsGroup.h"
#include "gui/StatusLine.h"
#include "config/Codepage.h"
#include "config/ConfigTransfer.h"

namespace qb {

void TMainForm::setUpPresence(Transport& transport) {
    connect(statusLine_, &StatusLine::deviceChosen, this, &TMainForm::chooseDevice);
    connect(statusLine_, &StatusLine::monitorRequested, this, &TMainForm::openSerialMonitor);
    connect(statusLine_, &StatusLine::backupsRequested, this, &TMainForm::openBackups);
    setBusWatcher(MakeBusWatcher(transport));
    new CursorBlinkLimit(this);
}

void TMainForm::ReleasePresence() {
    watcher_.reset();
    if (monitor_) monitor_->close();
}

void TMainForm::setBusWatcher(std::unique_ptr<BusWatcher> watcher) {
    watcher_ = std::move(watcher);
    if (watcher_) watcher_->start([this] { refreshPresence(); });
    refreshPresence();
}

void TMainForm::refreshPresence() {
    presence_.refresh();
    statusLine_->showPresence(presence_);
}

void TMainForm::chooseDevice(const std::string& key) {
    presence_.choose(key);
    statusLine_->showPresence(presence_);
}

void TMainForm::deviceIdentified(const IdentityReply& reply) {
    presence_.identified(FromAnsi(reply.version), reply.serial);
    lastSerial_ = FormatSerial(reply.serial);
    statusLine_->showPresence(presence_);
}

// Timer1 runs only while an operation or a keypad test has something to count.
void TMainForm::setTicksNeeded(bool needed) {
    if (needed && !Timer1->isActive()) Timer1->start();
    if (!needed && Timer1->isActive()) Timer1->stop();
    statusLine_->setChoiceLocked(needed || operationUnderWay());
}

void TMainForm::addMonitorPort(const QString& name, const QString& description) {
    monitorPorts_.append({name, description});
    if (monitor_) monitor_->addPort(name, description);
}

SerialMonitor* TMainForm::serialMonitor() {
    if (monitor_) return monitor_.get();
    const auto format = [this] {
        MonitorFormat f;
        const int baud = baudIndex();
        if (baud >= 0 && baud < static_cast<int>(kBaudRates.size())) f.baudRate = QByteArray(kBaudRates[baud]).toInt();
        f.stopBits = isChecked(RadioButton::StopBit2) ? QSerialPort::TwoStop : QSerialPort::OneStop;
        f.parity = isChecked(RadioButton::EvenParity)  ? QSerialPort::EvenParity
                   : isChecked(RadioButton::OddParity) ? QSerialPort::OddParity
                                                       : QSerialPort::NoParity;
        return f;
    };
    // The keys as the window holds them now, each message translated as a write would send it.
    const auto keys = [this] {
        KeypadConfig config;
        PackConfig(*this, config);
        MonitorKeys result;
        for (const KeyInfo& key : kKeys) {
            MonitorKey& k = result[key.legendIndex];
            k.legend = QString::fromStdU16String(legendText(key.legendIndex));
            std::uint8_t translated[kSlotSize] = {};
            if (DecodeMessageEscapes(Slot(config.Messages, key.slot), translated))
                k.message = std::string(SlotText(translated));
        }
        return result;
    };
    monitor_ = std::make_unique<SerialMonitor>(format, keys);
    for (const auto& [name, description] : monitorPorts_) monitor_->addPort(name, description);
    return monitor_.get();
}

void TMainForm::openSerialMonitor() {
    SerialMonitor* monitor = serialMonitor();
    monitor->show();
    monitor->raise();
    monitor->activateWindow();
}

}  // namespace qb
