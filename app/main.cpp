// The program: one window, "VELMORA Quillanterbrooke Interface Version 1.00", living as long as the program.
#include <exception>
#include <memory>

#include <QCommandLineParser>

#include "app/Application.h"
#include "app/Mainunit.h"
#include "app/TransportFactory.h"

int main(int argc, char** argv) {
    qb::Application app(argc, argv);
    try {
        qb::Application::setApplicationName(QLatin1String(qb::kApplicationTitle));

        QCommandLineParser parser;
        const QCommandLineOption simulate(QStringLiteral("simulate"),
                                          QStringLiteral("Talk to a simulated device instead of the USB device."));
        parser.addOption(simulate);
        parser.addHelpOption();
        parser.process(app);

        const std::unique_ptr<qb::Transport> transport = qb::makeTransport(parser.isSet(simulate));
        qb::TMainForm form(*transport);
        form.show();
        qb::Application::exec();
    } catch (const std::exception& e) {
        qb::ShowFailure(QString::fromUtf8(e.what()));
    } catch (...) {
        qb::ShowFailure(QString());
    }
    return 0;
}
