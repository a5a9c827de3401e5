// The application object: a failure that escapes an event handler is shown to the user and the program goes on.
#pragma once

#include <QApplication>

namespace qb {

class Application : public QApplication {
    Q_OBJECT
public:
    Application(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// The box that shows a failure nobody else reported: error icon, OK, no title of our own.
void ShowFailure(const QString& text);

}  // namespace qb
