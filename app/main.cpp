// The program: one window, "VELMORA Quillanterbrooke Interface Version 1.00", living as long as the program.
#include <exception>
#include <memory>

#include <QCommandLineParser>
#include <QTimer>

#include "app/Application.h"
#include "app/Mainunit.h"
#include "app/SimulatorWindow.h"
#include "app/TransportFactory.h"
#include "device/TracingTransport.h"
#include "simulator/SimulatedDevice.h"

int main(int argc, char** argv) {
    qb::Application app(argc, argv);
    try {
        qb::Application::setApplicationName(QLatin1String(qb::kApplicationTitle));

        QCommandLineParser parser;
        const QCommandLineOption simulate(QStringLiteral("simulate"),
                                          QStringLiteral("Talk to a simulated device instead of the USB device."));
        parser.addOption(simulate);
        const QCommandLineOption trace(QStringLiteral("trace"),
                                       QStringLiteral("Record every report to and from the device in <file>."),
                                       QStringLiteral("file"));
        parser.addOption(trace);
        parser.addHelpOption();
        parser.process(app);

        std::unique_ptr<qb::Transport> transport = qb::makeTransport(parser.isSet(simulate));
        auto* device = dynamic_cast<qb::SimulatedDevice*>(transport.get());
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
        form.show();
        // With a simulated device, its own small window stands beside the main one.
        std::unique_ptr<qb::SimulatorWindow> simulator;
        if (device) {
            simulator = std::make_unique<qb::SimulatorWindow>(*device);
            simulator->placeBeside(form);
            simulator->show();
            // Placed again once the window manager has framed the main window.
            QTimer::singleShot(300, simulator.get(), [&] { simulator->placeBeside(form); });
        }
        qb::Application::exec();
        if (tracing && !tracing->ok()) qb::ShowFailure(QStringLiteral("Cannot write the trace ") + parser.value(trace));
    } catch (const std::exception& e) {
        qb::ShowFailure(QString::fromUtf8(e.what()));
    } catch (...) {
        qb::ShowFailure(QString());
    }
    return 0;
}
