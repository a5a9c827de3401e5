// The "Serial monitor" window: opens a serial port at the main window's baud rate, stop bits and parity and
// shows what arrives, one message a line: printable text as it is, every other byte in the tool's \XX
// notation, and beside a message that equals a key's configured message, that key's legend.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include <QSerialPort>
#include <QWidget>

#include "config/KeyTable.h"

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTimer;

namespace qb {

// What the monitor takes from the main window: the port format when it opens a port, the keys whenever a
// message has arrived (so edits made meanwhile count).
struct MonitorFormat {
    qint32 baudRate = 19200;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
    QSerialPort::Parity parity = QSerialPort::NoParity;
};
struct MonitorKey {
    QString legend;
    std::string message;  // after escape translation; empty if the message is not valid
};
using MonitorKeys = std::array<MonitorKey, kKeyCount>;  // row-major, like the legends

class SerialMonitor : public QWidget {
    Q_OBJECT

public:
    SerialMonitor(std::function<MonitorFormat()> format, std::function<MonitorKeys()> keys, QWidget* parent = nullptr);
    ~SerialMonitor() override;

    // A port the system does not list (the simulated device's), listed first and chosen.
    void addPort(const QString& name, const QString& description);
    // Lists the ports again.
    void refreshPorts();
    bool openPort(const QString& name);
    void closePort();
    bool portOpen() const;

    // Everything received since the window was made, and the lines shown.
    std::uint64_t bytesReceived() const { return bytesReceived_; }
    QStringList lines() const;

private:
    void readArrived();
    void portFailed(QSerialPort::SerialPortError error);
    void finishMessage();
    void showLine(const QByteArray& message);
    void setStatus(const QString& text);
    void updateButtons();

    std::function<MonitorFormat()> format_;
    std::function<MonitorKeys()> keys_;
    QList<QPair<QString, QString>> extraPorts_;
    QSerialPort port_;
    QByteArray pending_;
    std::uint64_t bytesReceived_ = 0;
    QComboBox* ports_ = nullptr;
    QPushButton* open_ = nullptr;
    QPushButton* refresh_ = nullptr;
    QPushButton* clear_ = nullptr;
    QPlainTextEdit* view_ = nullptr;
    QLabel* status_ = nullptr;
    QTimer* gap_ = nullptr;
};

}  // namespace qb
