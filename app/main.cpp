// The program: one window, "VELMORA Quillanterbrooke Interface Version 1.00", living as long as the program.
#include <exception>
#include <memory>

#include <QCommandLineParser>
#include <QDir>
#include <QIcon>
#include <QTimer>

#include "app/Application.h"
#include "app/Mainunit.h"
#include "app/SimulatorWindow.h"
#include "app/TransportFactory.h"
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
        parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("A data file (.dat) to load at start."),
                                     QStringLiteral("[file]"));
        parser.addHelpOption();
        parser.process(app);

        const std::unique_ptr<qb::Transport> transport = qb::makeTransport(parser.isSet(simulate));
        qb::TMainForm form(*transport);
        form.show();
        // A file named on the command line (a double-clicked .dat file) loads once the window is up, with the
        // boxes of Load File if it cannot.
        if (!parser.positionalArguments().isEmpty())
            QTimer::singleShot(0, &form, [&] { form.LoadFile(parser.positionalArguments().front()); });
        // With a simulated device, its own small window stands beside the main one.
        std::unique_ptr<qb::SimulatorWindow> simulator;
        if (auto* device = dynamic_cast<qb::SimulatedDevice*>(transport.get())) {
            simulator = std::make_unique<qb::SimulatorWindow>(*device);
            simulator->placeBeside(form);
            simulator->show();
            // Placed again once the window manager has framed the main window.
            QTimer::singleShot(300, simulator.get(), [&] { simulator->placeBeside(form); });
        }
        qb::Application::exec();
    } catch (const std::exception& e) {
        qb::ShowFailure(QString::fromUtf8(e.what()));
    } catch (...) {
        qb::ShowFailure(QString());
    }
    return 0;
}
