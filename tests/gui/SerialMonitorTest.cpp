// The serial monitor over a pseudo-terminal pair: text, escapes, the matched key, a port that disappears; and
// the whole loop with the simulated device: edit, write, press a key on its pad, see the message.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <QPlainTextEdit>

#include "AppTestSupport.h"
#include "gui/monitor/SerialMonitor.h"
#include "gui/simulator/SimulatorWindow.h"

class SerialMonitorTest : public FormTest {
    Q_OBJECT

    int master_ = -1;
    std::unique_ptr<PseudoTerminalLine> line_;
    std::unique_ptr<SimulatedDevice> device_;

    SerialMonitor* monitor() { return form_->serialMonitor(); }
    QString status() { return control<QLabel>(*monitor(), "MonitorStatus")->text(); }
    // The pseudo-terminal's near end; its far end is what the monitor opens.
    QString openPair() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) qFatal("no pseudo-terminal");
        return QString::fromLocal8Bit(ptsname(master_));
    }
    QString lastLine() {
        const QStringList lines = monitor()->lines();
        return lines.isEmpty() ? QString() : lines.last();
    }
    void send(const QByteArray& bytes) { QCOMPARE(::write(master_, bytes.constData(), bytes.size()), bytes.size()); }

private slots:
    void cleanup() {
        form_.reset();
        if (device_) device_->setSerialLine(nullptr);
        device_.reset();
        line_.reset();
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }

    void showsTextEscapesAndTheMatchedKeyUntilThePortGoes() {
        retype(message('5'), QStringLiteral("K5\\0D"));
        QVERIFY(monitor()->openPort(openPair()));
        QVERIFY(status().contains(QStringLiteral("19200 baud, no parity, 1 stop bit")));
        const struct {
            QByteArray sent;
            QString shown;
        } cases[] = {
            {"hello world", "hello world"},
            {QByteArray("\x01\\A\x00\xE9", 5), QStringLiteral(u"\\01\\\\A\\00\u00E9")},
            {"K5\r", "K5\\0D    [key 5]"},
            {"K5", "K5"},
        };
        for (const auto& c : cases) {
            send(c.sent);
            QTRY_COMPARE(lastLine(), c.shown);
        }
        // The legend as the window has it now.
        retype(legend('5'), QStringLiteral("X"));
        send("K5\r");
        QTRY_COMPARE(lastLine(), QStringLiteral("K5\\0D    [key X]"));

        ::close(master_);
        master_ = -1;
        QTRY_VERIFY(!monitor()->portOpen());
        QVERIFY(status().contains(QStringLiteral("is gone")));
        QCOMPARE(monitor()->lines().size(), 5);
    }

    void aPortThatCannotBeOpenedIsTold() {
        QVERIFY(!monitor()->openPort(QStringLiteral("/nonexistent/tty")));
        QVERIFY(status().startsWith(QStringLiteral("Cannot open /nonexistent/tty")));
        QVERIFY(!monitor()->portOpen());
    }

    // The message as written into the simulated device, at its written format; a monitor at another rate sees
    // garbage. While the write waits for the device, its buttons are off and the file buttons not.
    void editWritePressSee() {
        device_ = std::make_unique<SimulatedDevice>();
        device_->setSerial(12345);
        device_->setVersion("2.\xE9");  // an 8-bit character of the Windows code page
        line_ = std::make_unique<PseudoTerminalLine>();
        device_->setSerialLine(line_.get());
        connectTo(*device_);
        const QString port = QString::fromStdString(line_->portName());
        form_->addMonitorPort(port, QStringLiteral("Simulated device"));
        SimulatorWindow simulator(*device_);
        retype(message('5'), QStringLiteral("five\\0D\\0A"));
        control<QComboBox>(*form_, "BaudRateComboBox")->setCurrentIndex(6);
        form_->presenter().addLogLine(u"old");  // the write clears the log first
        click(*form_, "WriteButton");
        const auto on = [this](const char* button) { return control(*form_, button)->isEnabled(); };
        QVERIFY(!on("WriteButton") && !on("ReadButton") && !on("TestkeypadButton") && on("LoadButton"));
        QTRY_COMPARE(sink_.texts(FakeSink::Kind::Information), std::vector<std::u16string>{kDownloadCompleteText});
        QVERIFY(on("WriteButton") && on("ReadButton") && on("TestkeypadButton"));
        QCOMPARE(control<QPlainTextEdit>(*form_, "LogMemo")->toPlainText(),
                 QStringLiteral("Appware Version:2.\u00E9\nSerial Number: 12345"));

        form_->openSerialMonitor();
        QCOMPARE(control<QComboBox>(*monitor(), "MonitorPort")->currentData().toString(), port);
        click(*monitor(), "MonitorOpen");
        QVERIFY(monitor()->portOpen());
        QTest::mouseClick(simulator.padButton(keyNamed('5').keyNumber), Qt::LeftButton);
        QTRY_COMPARE(monitor()->lines().value(0), QStringLiteral("five\\0D\\0A    [key 5]"));

        click(*monitor(), "MonitorOpen");  // closes
        control<QComboBox>(*form_, "BaudRateComboBox")->setCurrentIndex(3);
        click(*monitor(), "MonitorOpen");
        QTest::mouseClick(simulator.padButton(keyNamed('5').keyNumber), Qt::LeftButton);
        QTRY_COMPARE(monitor()->lines().size(), 2);
        QVERIFY(!lastLine().contains(QStringLiteral("key")));
    }
};

QB_APP_TEST(SerialMonitorTest)
#include "SerialMonitorTest.moc"
