#include "gui/monitor/SerialMonitor.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QTextBlock>
#include <QTimer>

#include "config/KeypadConfig.h"
#include "config/Text.h"

namespace qb {

namespace {

// A message ends when the line has been quiet this long, plus three character times: longer than a USB
// serial adapter holds bytes back, shorter than two key presses can follow each other.
constexpr int kQuietMs = 50;
constexpr int kMaxShownLines = 5000;

// The legends of every key whose message is `message`, as the line shows them; empty for none.
QString MatchedKeys(const QByteArray& message, const MonitorKeys& keys) {
    QStringList matched;
    for (const KeyInfo& key : kKeys) {
        const MonitorKey& k = keys[key.legendIndex];
        if (k.message.empty() || k.message != message.toStdString()) continue;
        matched << (k.legend.isEmpty() ? QStringLiteral("row %1, column %2").arg(key.row).arg(key.column) : k.legend);
    }
    if (matched.isEmpty()) return {};
    return (matched.size() == 1 ? QStringLiteral("key ") : QStringLiteral("keys ")) +
           matched.join(QStringLiteral(", "));
}

}  // namespace

SerialMonitor::SerialMonitor(std::function<MonitorFormat()> format, std::function<MonitorKeys()> keys, QWidget* parent)
    : QWidget(parent, Qt::Window), format_(std::move(format)), keys_(std::move(keys)) {
    setObjectName(QStringLiteral("SerialMonitor"));
    setWindowTitle(tr("Serial monitor"));
    setAttribute(Qt::WA_QuitOnClose, false);
    resize(560, 360);

    auto* layout = new QGridLayout(this);
    ports_ = new QComboBox(this);
    ports_->setObjectName(QStringLiteral("MonitorPort"));
    ports_->setEditable(true);  // any device path may be typed
    ports_->setAccessibleName(tr("Serial port"));
    refresh_ = new QPushButton(tr("Refresh"), this);
    refresh_->setObjectName(QStringLiteral("MonitorRefresh"));
    open_ = new QPushButton(tr("Open"), this);
    open_->setObjectName(QStringLiteral("MonitorOpen"));
    clear_ = new QPushButton(tr("Clear"), this);
    clear_->setObjectName(QStringLiteral("MonitorClear"));
    view_ = new QPlainTextEdit(this);
    view_->setObjectName(QStringLiteral("MonitorView"));
    view_->setReadOnly(true);
    view_->setMaximumBlockCount(kMaxShownLines);
    view_->setAccessibleName(tr("Received messages"));
    view_->setFont(QFont(QStringLiteral("DejaVu Sans Mono")));
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("MonitorStatus"));
    status_->setWordWrap(true);
    layout->addWidget(new QLabel(tr("Port"), this), 0, 0);
    layout->addWidget(ports_, 0, 1);
    layout->addWidget(refresh_, 0, 2);
    layout->addWidget(open_, 0, 3);
    layout->addWidget(clear_, 0, 4);
    layout->addWidget(view_, 1, 0, 1, 5);
    layout->addWidget(status_, 2, 0, 1, 5);
    layout->setColumnStretch(1, 1);

    gap_ = new QTimer(this);
    gap_->setSingleShot(true);
    connect(gap_, &QTimer::timeout, this, &SerialMonitor::finishMessage);
    connect(&port_, &QSerialPort::readyRead, this, &SerialMonitor::readArrived);
    connect(&port_, &QSerialPort::errorOccurred, this, &SerialMonitor::portFailed);
    connect(refresh_, &QPushButton::clicked, this, &SerialMonitor::refreshPorts);
    connect(clear_, &QPushButton::clicked, view_, &QPlainTextEdit::clear);
    connect(open_, &QPushButton::clicked, this, [this] {
        if (port_.isOpen()) {
            closePort();
            return;
        }
        // A listed port by its item; anything else as typed.
        const int index = ports_->currentIndex();
        const bool listed = index >= 0 && ports_->currentText() == ports_->itemText(index);
        openPort(listed ? ports_->itemData(index).toString() : ports_->currentText());
    });
    refreshPorts();
    setStatus(tr("Choose a port and open it. It opens at the main window's baud rate, stop bits and parity."));
}

SerialMonitor::~SerialMonitor() {
    closePort();
}

void SerialMonitor::addPort(const QString& name, const QString& description) {
    extraPorts_.append({name, description});
    refreshPorts();
    if (!port_.isOpen()) ports_->setCurrentIndex(0);
}

void SerialMonitor::refreshPorts() {
    const QString current = ports_->currentText();
    ports_->clear();
    for (const auto& [name, description] : extraPorts_)
        ports_->addItem(description + QStringLiteral(": ") + name, name);
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        const QString label = info.description().isEmpty() ? info.systemLocation()
                                                           : info.systemLocation() + QStringLiteral(" (") +
                                                                 info.description() + QLatin1Char(')');
        ports_->addItem(label, info.systemLocation());
    }
    const int again = ports_->findText(current);
    if (again >= 0) ports_->setCurrentIndex(again);
}

bool SerialMonitor::openPort(const QString& name) {
    closePort();
    const MonitorFormat format = format_();
    port_.setPortName(name);
    port_.setBaudRate(format.baudRate);
    port_.setDataBits(QSerialPort::Data8);
    port_.setParity(format.parity);
    port_.setStopBits(format.stopBits);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    if (!port_.open(QIODevice::ReadOnly)) {
        setStatus(tr("Cannot open %1: %2").arg(name, port_.errorString()));
        updateButtons();
        return false;
    }
    const QString parity = format.parity == QSerialPort::EvenParity  ? tr("even parity")
                           : format.parity == QSerialPort::OddParity ? tr("odd parity")
                                                                     : tr("no parity");
    setStatus(tr("%1 open at %2 baud, %3, %4 stop bit(s).")
                  .arg(name)
                  .arg(format.baudRate)
                  .arg(parity)
                  .arg(format.stopBits == QSerialPort::TwoStop ? 2 : 1));
    updateButtons();
    return true;
}

void SerialMonitor::closePort() {
    if (!port_.isOpen()) return;
    readArrived();
    finishMessage();
    port_.close();
    setStatus(tr("%1 closed.").arg(port_.portName()));
    updateButtons();
}

bool SerialMonitor::portOpen() const {
    return port_.isOpen();
}

void SerialMonitor::readArrived() {
    const QByteArray data = port_.readAll();
    if (data.isEmpty()) return;
    bytesReceived_ += static_cast<std::uint64_t>(data.size());
    pending_ += data;
    // No message is longer than 63 bytes: a longer run is shown in pieces, unmatched.
    while (pending_.size() > static_cast<qsizetype>(kMaxMessageBytes)) {
        showLine(pending_.left(kMaxMessageBytes));
        pending_.remove(0, kMaxMessageBytes);
    }
    const int charMs = 1 + 10000 / std::max(port_.baudRate(), 1);
    gap_->start(kQuietMs + 3 * charMs);
}

void SerialMonitor::finishMessage() {
    gap_->stop();
    if (pending_.isEmpty()) return;
    showLine(pending_);
    pending_.clear();
}

void SerialMonitor::showLine(const QByteArray& message) {
    QString line = QString::fromStdU16String(ShowBytes(std::string_view(message.constData(), message.size())));
    const QString keys = MatchedKeys(message, keys_());
    if (!keys.isEmpty()) line += QStringLiteral("    [") + keys + QLatin1Char(']');
    view_->appendPlainText(line);
}

void SerialMonitor::portFailed(QSerialPort::SerialPortError error) {
    if (error == QSerialPort::NoError) return;
    const QString what = port_.errorString();
    if (error == QSerialPort::ResourceError || error == QSerialPort::PermissionError ||
        error == QSerialPort::ReadError) {
        // The port went away (unplugged adapter, hung-up pseudo-terminal): it would only fail again. What had
        // arrived stays shown.
        const QString name = port_.portName();
        closePort();
        setStatus(tr("%1 is gone: %2").arg(name, what));
        return;
    }
    if (error == QSerialPort::OpenError || error == QSerialPort::DeviceNotFoundError) return;  // told by openPort
    setStatus(tr("Port error: %1").arg(what));
    port_.clearError();
}

void SerialMonitor::setStatus(const QString& text) {
    status_->setText(text);
}

void SerialMonitor::updateButtons() {
    open_->setText(port_.isOpen() ? tr("Close") : tr("Open"));
    ports_->setEnabled(!port_.isOpen());
}

QStringList SerialMonitor::lines() const {
    // Block by block: the document's plain text would turn no-break spaces into spaces.
    QStringList result;
    for (QTextBlock block = view_->document()->begin(); block.isValid(); block = block.next())
        if (!block.text().isEmpty()) result << block.text();
    return result;
}

}  // namespace qb
