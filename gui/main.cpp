// The program: one window, "VELMORA Quillanterbrooke Interface Version 1.00", living as long as the program.
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QIcon>
#include <QTextStream>
#include <QTimer>

#include "config/ProcessSetup.h"
#include "device/TracingTransport.h"
#include "gui/Application.h"
#include "gui/Mainunit.h"
#include "presenter/BusWatchers.h"
#include "gui/simulator/SimulatorWindow.h"
#include "simulator/SimulatedDevice.h"
#include "simulator/TransportFactory.h"

namespace {

constexpr char kVersionNumber[] = "1.00";

// What the command line asks for; read before the window's application exists, so that --help and --version work
// without a display and bad usage ends with status 2 before anything is opened.
struct Options {
    bool simulate = false;
    QString device;
    std::string trace;  // file names as the system gave them: not every name is valid UTF-8
    std::filesystem::path file;
};

// The argument as the system gave it, for a value Qt has decoded (perhaps with losses).
std::string RawArgument(int argc, char** argv, const QString& decoded) {
    for (int i = 1; i < argc; ++i)
        if (QString::fromLocal8Bit(argv[i]) == decoded) return argv[i];
    return decoded.toStdString();
}

std::optional<int> ParseOptions(int argc, char** argv, Options& options) {
    QCoreApplication core(argc, argv);
    QCoreApplication::setApplicationName(QLatin1String(qb::kApplicationTitle));
    QCoreApplication::setApplicationVersion(QLatin1String(kVersionNumber));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Prepares the VELMORA Quillanterbrooke keypad encoder."));
    const QCommandLineOption simulate(QStringLiteral("simulate"),
                                      QStringLiteral("Talk to a simulated device instead of the USB device."));
    const QCommandLineOption device(
        QStringLiteral("device"),
        QStringLiteral("With several encoders attached, use the one with this device path or USB serial number."),
        QStringLiteral("PATH or SERIAL"));
    const QCommandLineOption trace(QStringLiteral("trace"),
                                   QStringLiteral("Record every report to and from the device in <file>."),
                                   QStringLiteral("file"));
    parser.addOptions({simulate, device, trace});
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("A data file (.dat) to load at start."),
                                 QStringLiteral("[file]"));
    // Qt's own options (-platform offscreen, -style ...) are the window's application's to take.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const char* qt : {"platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
                           "qwindowicon", "qwindowtitle", "session", "display", "geometry", "style", "stylesheet"}) {
        QCommandLineOption option(QString::fromLatin1(qt), QString(), QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (const char* qt : {"reverse", "widgetcount", "nograb", "dograb", "sync"}) {
        QCommandLineOption option(QString::fromLatin1(qt));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    QTextStream err(stderr);
    if (!parser.parse(QCoreApplication::arguments())) {
        err << QCoreApplication::applicationName() << ": " << parser.errorText() << "\n";
        return 2;
    }
    if (parser.isSet(help)) {
        QTextStream(stdout) << parser.helpText();
        return 0;
    }
    if (parser.isSet(version)) {
        QTextStream(stdout) << QCoreApplication::applicationName() << " " << kVersionNumber << "\n";
        return 0;
    }
    if (parser.positionalArguments().size() > 1) {
        err << QCoreApplication::applicationName() << ": one data file at most, not "
            << parser.positionalArguments().join(QLatin1Char(' ')) << "\n";
        return 2;
    }
    for (const QCommandLineOption* named : {&device, &trace})
        if (parser.isSet(*named) && parser.value(*named).isEmpty()) {
            err << QCoreApplication::applicationName() << ": --" << named->names().front() << " needs a value\n";
            return 2;
        }
    options.simulate = parser.isSet(simulate);
    options.device = parser.value(device);
    if (parser.isSet(trace)) options.trace = RawArgument(argc, argv, parser.value(trace));
    if (!parser.positionalArguments().isEmpty()) {
#ifdef _WIN32
        options.file = std::filesystem::path(parser.positionalArguments().front().toStdU16String());
#else
        options.file = std::filesystem::path(RawArgument(argc, argv, parser.positionalArguments().front()));
#endif
    }
    std::error_code same;
    if (!options.trace.empty() && !options.file.empty() &&
        std::filesystem::weakly_canonical(options.trace, same) ==
            std::filesystem::weakly_canonical(options.file, same)) {
        err << QCoreApplication::applicationName() << ": --trace names the data file to load: choose another\n";
        return 2;
    }
    return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
    qb::HoldStandardDescriptors();
    // A trace or an output whose reader has gone is a failed write, told as such; never the end of the program.
    qb::IgnoreBrokenPipes();
    Options options;
    if (const std::optional<int> status = ParseOptions(argc, argv, options)) return *status;
    qb::Application app(argc, argv);
    try {
        qb::Application::setApplicationName(QLatin1String(qb::kApplicationTitle));
        // The menu entry and the running window are one program to the desktop: the same name and icon.
        qb::Application::setDesktopFileName(QStringLiteral(QB_APP_ID));
        QIcon icon;
        for (const QString& size : QDir(QStringLiteral(":/icons")).entryList())
            icon.addFile(QStringLiteral(":/icons/") + size);
        qb::Application::setWindowIcon(icon);

        std::unique_ptr<qb::Transport> transport = qb::makeTransport(options.simulate);
        auto* simulated = dynamic_cast<qb::SimulatedDevice*>(transport.get());
        // The simulated device's serial port: pressing a key on its pad sends the key's message here.
        qb::PseudoTerminalLine serialLine;
        if (simulated) simulated->setSerialLine(&serialLine);
        qb::TracingTransport* tracing = nullptr;
        if (!options.trace.empty()) {
            std::string error;
            auto traced = qb::TracingTransport::ToFile(std::move(transport), options.trace, error);
            if (!traced) {
                qb::ShowFailure(QString::fromStdString(error));
                return 1;
            }
            tracing = traced.get();
            transport = std::move(traced);
        }
        qb::TMainForm form(*transport);
        const QString traceName = QString::fromLocal8Bit(options.trace.c_str());
        if (tracing)
            tracing->setFailureHandler([&form, traceName] {
                // Told when it happens, on the window's thread, whichever thread's line failed.
                QMetaObject::invokeMethod(
                    &form, [traceName] { qb::ShowFailure(QStringLiteral("Cannot write the trace ") + traceName); },
                    Qt::QueuedConnection);
            });
        // Traced, the simulated device is wrapped: its plug changes still drive the status line.
        if (simulated && tracing) form.setBusWatcher(qb::MakeWindowBusWatcher(*simulated, form.dispatcher()));
        if (simulated && serialLine.isOpen())
            form.addMonitorPort(QString::fromStdString(serialLine.portName()), QStringLiteral("Simulated device"));
        if (!options.device.isEmpty()) form.chooseDevice(options.device.toStdString());
        form.show();
        // A file named on the command line (a double-clicked .dat file) loads once the window is up, with the
        // boxes of Load File if it cannot.
        if (!options.file.empty()) QTimer::singleShot(0, &form, [&] { form.LoadFile(options.file); });
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

    } catch (const std::exception& e) {
        qb::ShowFailure(QString::fromUtf8(e.what()));
    } catch (...) {
        qb::ShowFailure(QString());
    }
    return 0;
}
