// The program: one window, "VELMORA Quillanterbrooke Interface Version 1.00", living as long as the program.
#include <exception>
#include <memory>

#include <QCommandLineParser>
#include <QDir>
#include <QIcon>
#include <QTimer>

#include "gui/Application.h"
#include "gui/bus/BusWatchers.h"
#include "gui/Mainunit.h"
#include "gui/simulator/SimulatorWindow.h"
#include "simulator/TransportFactory.h"
#include "device/TracingTransport.h"
#include "simulator/SimulatedDevice.h"

int main(int argc, char** argv) {
    qb::Application app(argc, argv);
    try {
        qb::Application::setApplicationName(QLatin1String(qb::kApplicationTitle));
        // The menu entry and the running window are one program to the desktop: the same name and icon.
        qb::Application::setDesktopFileName(QStringLiteral(QB_APP_ID));
        QIcon icon;
        for (const QString& size : QDir(QStringLiteral(":/icons")).entryList())
            icon.addFile(QStringLiteral(":/icons/") + size);
        qb::Application::setWindowIcon(icon);

        QCommandLineParser parser;
        const QCommandLineOption simulate(QStringLiteral("simulate"),
                                          QStringLiteral("Talk to a simulated device instead of the USB device."));
        parser.addOption(simulate);
        const QCommandLineOption device(
            QStringLiteral("device"),
            QStringLiteral("With several encoders attached, use the one with this device path or USB serial number."),
            QStringLiteral("PATH or SERIAL"));
        parser.addOption(device);
        const QCommandLineOption trace(QStringLiteral("trace"),
                                       QStringLiteral("Record every report to and from the device in <file>."),
                                       QStringLiteral("file"));
        parser.addOption(trace);
        parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("A data file (.dat) to load at start."),
                                     QStringLiteral("[file]"));
        parser.addHelpOption();
        parser.process(app);

        std::unique_ptr<qb::Transport> transport = qb::makeTransport(parser.isSet(simulate));
        auto* simulated = dynamic_cast<qb::SimulatedDevice*>(transport.get());
        // The simulated device's serial port: pressing a key on its pad sends the key's message here.
        qb::PseudoTerminalLine serialLine;
        if (simulated) simulated->setSerialLine(&serialLine);
        qb::TracingTransport* tracing = nullptr;
        if (parser.isSet(trace)) {
            std::string error;
            auto traced = qb::TracingTransport::ToFile(std::move(transport), parser.value(trace).toStdString(), error);
            if (!traced) {
                qb::ShowFailure(QString::fromStdString(error));
                return 1;
            }
            tracing = traced.get();
            transport = std::move(traced);
        }
        qb::TMainForm form(*transport);
        // Traced, the simulated device is wrapped: its plug changes still drive the status line.
        if (simulated && tracing) form.setBusWatcher(qb::MakeBusWatcher(*simulated));
        if (simulated && serialLine.isOpen())
            form.addMonitorPort(QString::fromStdString(serialLine.portName()), QStringLiteral("Simulated device"));
        if (parser.isSet(device)) form.chooseDevice(parser.value(device).toStdString());
        form.show();
        // A file named on the command line (a double-clicked .dat file) loads once the window is up, with the
        // boxes of Load File if it cannot.
        if (!parser.positionalArguments().isEmpty())
            QTimer::singleShot(0, &form, [&] { form.LoadFile(parser.positionalArguments().front()); });
        // With a simulated device, its own small window stands beside the main one.
        std::unique_ptr<qb::SimulatorWindow> simulator;
        if (simulated) {
            simulator = std::make_unique<qb::SimulatorWindow>(*simulated);
            simulator->placeBeside(form);
            simulator->show();
            // Placed again once the window manager has framed the main window.
            QTimer::singleShot(300, simulator.get(), [&] { simulator->placeBeside(form); });
        }
        qb::Application::exec();
        if (simulated) simulated->setSerialLine(nullptr);
        if (tracing && !tracing->ok()) qb::ShowFailure(QStringLiteral("Cannot write the trace ") + parser.value(trace));
    } catch (const std::exception& e) {
        qb::ShowFailure(QString::fromUtf8(e.what()));
    } catch (...) {
        qb::ShowFailure(QString());
    }
    return 0;
}
