// Makes docs/read-back.png: the main window after a full read of a simulated device that holds another
// configuration, with the read result beside it. Runs on any Qt platform (offscreen too): the windows are
// rendered, not photographed.
#include <QApplication>
#include <QCheckBox>
#include <QPainter>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>

#include <cstring>

#include "config/MemoryConfigView.h"
#include "gui/Mainunit.h"
#include "gui/ReadBackWindow.h"
#include "protocol/DeviceImage.h"
#include "simulator/SimulatedDevice.h"

namespace {

// A device that was written with another keypad wiring, baud rate and two messages.
void FillDevice(qb::SimulatedDevice& device) {
    qb::ConfigStore held;
    qb::MemoryConfigView view;
    held.SetDefaultConfig(view);
    held.Config.Settings[qb::kColumnLinesOffset + 2] = 7;
    held.Config.Settings[qb::kBaudCodeOffset] = 3;
    const auto put = [&](int slot, const char* text) {
        std::uint8_t* s = qb::Slot(held.Config.Messages, static_cast<std::size_t>(slot));
        std::copy(text, text + std::strlen(text) + 1, s);
    };
    put(0, "START\\0D\\0A");
    put(15, "Door \\1B");
    class Quiet : public qb::MessageSink {
        void showError(const std::u16string&) override {}
        void showInformation(const std::u16string&) override {}
    } quiet;
    held.TranslateMessages(quiet);
    const qb::DeviceImage image = qb::WrittenImage(held.Config.Settings, held.DeviceMessages);
    for (std::size_t n = 0; n < qb::kBlockCount; ++n) device.setBlock(n, image.blocks[n]);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);  // the window's remembered choices stay out of the user's settings
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs/read-back.png");

    qb::SimulatedDevice device;
    FillDevice(device);
    qb::TMainForm form(device, QCoreApplication::applicationDirPath() + QStringLiteral("/../gui"));
    class Quiet : public qb::UserSink {
        void showError(const std::u16string&) override {}
        void showInformation(const std::u16string&) override {}
        qb::Answer askYesNoCancel(const std::u16string&) override { return qb::Answer::Cancel; }
    } quiet;
    form.setUserSink(&quiet);
    form.show();
    form.findChild<QCheckBox*>(QStringLiteral("ReadMessagesCheckBox"))->setChecked(true);
    form.findChild<QPushButton*>(QStringLiteral("ReadButton"))->click();
    if (!QTest::qWaitFor([&] { return form.findChild<qb::ReadBackWindow*>() != nullptr; }, 10000)) return 1;
    auto* result = form.findChild<qb::ReadBackWindow*>();
    QTest::qWait(200);

    const QPixmap main = form.grab();
    const QPixmap side = result->grab();
    QPixmap picture(main.width() + 16 + side.width(), std::max(main.height(), side.height()));
    picture.fill(QColor(0x40, 0x40, 0x40));
    QPainter painter(&picture);
    painter.drawPixmap(0, 0, main);
    painter.drawPixmap(main.width() + 16, 0, side);
    painter.end();
    if (!picture.save(out)) return 1;
    form.findChild<QCheckBox*>(QStringLiteral("ReadMessagesCheckBox"))->setChecked(false);
    return 0;
}
