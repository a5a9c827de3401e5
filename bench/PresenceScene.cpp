// The picture of the status line and the serial monitor in the README: the tool with a simulated device, its
// configuration written into the device, then keys pressed on the simulated pad. One message was edited
// after the write, so the device still sends the old one and the monitor names no key for it. Run under an X
// server (scripts/screenshot.sh --presence); saves the whole screen to the file named by the first argument.
#include <QApplication>
#include <QPixmap>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <functional>

#include "config/Backups.h"
#include "gui/Mainunit.h"
#include "gui/monitor/SerialMonitor.h"
#include "gui/simulator/SimulatorWindow.h"
#include "simulator/SimulatedDevice.h"

namespace {

class QuietSink : public qb::UserSink {
public:
    void showError(const std::u16string&) override {}
    void showInformation(const std::u16string&) override {}
    qb::Answer askYesNoCancel(const std::u16string&) override { return qb::Answer::No; }
};

void After(int ms, std::function<void()> step) {
    QTimer::singleShot(ms, qApp, std::move(step));
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // The write's backup goes to a folder of its own, not the user's.
    const QTemporaryDir backups;
    qputenv(qb::kBackupDirVariable, backups.path().toLocal8Bit());
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("presence.png");
    qb::SimulatedDevice device;
    device.setSerial(31337);
    device.setSerialString("QB-0042");
    qb::PseudoTerminalLine line;
    device.setSerialLine(&line);
    QuietSink quiet;
    qb::TMainForm form(device);
    form.setUserSink(&quiet);
    form.addMonitorPort(QString::fromStdString(line.portName()), QStringLiteral("Simulated device"));
    const auto key = [](char legend) {
        for (const qb::KeyInfo& k : qb::kKeys)
            if (k.legend == legend) return k;
        return qb::kKeys[0];
    };
    form.setMessageText(key('1').legendIndex, u"ONE\\0D\\0A");
    form.setMessageText(key('5').legendIndex, u"five\\0D\\0A");
    form.setMessageText(key('A').legendIndex, u"\\1B[menu]");
    form.move(0, 0);
    form.show();
    qb::SimulatorWindow simulator(device);
    simulator.show();
    simulator.placeBeside(form);

    form.WriteButtonClick();
    After(800, [&] {
        form.setMessageText(key('1').legendIndex, u"uno\\0D\\0A");  // edited, not written
        form.ReadButtonClick();
        qb::SerialMonitor* monitor = form.serialMonitor();
        monitor->resize(520, 250);
        monitor->show();
        monitor->move(simulator.frameGeometry().left(), simulator.frameGeometry().bottom() + 12);
        monitor->openPort(QString::fromStdString(line.portName()));
    });
    int at = 1500;
    for (const char legend : {'5', '1', 'A', '#'}) {
        After(at, [&device, number = key(legend).keyNumber] { device.setKeyDown(number); });
        After(at + 100, [&device] { device.setKeyDown(0); });
        at += 250;
    }
    After(at + 500, [] {
        // The read's own window (what the device holds) is not what this picture is about.
        for (QWidget* window : QApplication::topLevelWidgets())
            if (window->objectName() == QLatin1String("ReadBackWindow")) window->close();
    });
    After(at + 800, [&] {
        QGuiApplication::primaryScreen()->grabWindow(0).save(out);
        form.close();
        QApplication::quit();
    });
    QApplication::exec();
    device.setSerialLine(nullptr);
    return 0;
}
