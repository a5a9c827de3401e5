#include "gui/Application.h"

#include <exception>

#include <QMessageBox>

#include "gui/QtDialogs.h"

namespace qb {

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {}

bool Application::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        ShowFailure(QString::fromUtf8(e.what()));
    } catch (...) {
        ShowFailure(QString());
    }
    return false;
}

void ShowFailure(const QString& text) {
    QMessageBox box(QMessageBox::Critical, QString(), text, QMessageBox::Ok);
    FitTitle(box);
    box.exec();
}

}  // namespace qb
