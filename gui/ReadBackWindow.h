// After "Read From VELMORA": what the device holds beside what the window holds, differences marked, and one
// action that brings the device's values into the window.
#pragma once

#include <QDialog>

#include "protocol/DeviceImage.h"

class QLabel;
class QPushButton;
class QTableWidget;

namespace qb {

class ReadBackWindow : public QDialog {
    Q_OBJECT
public:
    explicit ReadBackWindow(QWidget* parent);

    // Shows `comparison`; the take-over button is offered when something differs.
    void show(const Comparison& comparison);

signals:
    void takeOverRequested();

private:
    void fitRows();

    QLabel* heading_ = nullptr;
    QTableWidget* table_ = nullptr;
    QLabel* messagesNote_ = nullptr;
    QPushButton* takeOver_ = nullptr;
};

}  // namespace qb
