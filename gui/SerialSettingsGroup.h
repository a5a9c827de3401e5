// "Serial Port Settings": the baud rate list, the stop bits and the parity.
#pragma once

#include <vector>

#include <QGroupBox>

class QComboBox;
class QLabel;
class QRadioButton;

namespace qb {

class SerialSettingsGroup : public QGroupBox {
    Q_OBJECT
public:
    explicit SerialSettingsGroup(QWidget* parent);

    // The Tab key's order: the list, the stop bits, the parity.
    std::vector<QWidget*> tabOrder() const;

    QLabel* Label9 = nullptr;
    QComboBox* BaudRateComboBox = nullptr;  // pick-only; the design selects no entry
    QGroupBox* GroupBox4 = nullptr;
    QRadioButton* StopBitRadioButton2 = nullptr;
    QRadioButton* StopBitRadioButton1 = nullptr;
    QGroupBox* GroupBox5 = nullptr;
    QRadioButton* NoParityRadioButton = nullptr;
    QRadioButton* EvenParityRadioButton = nullptr;
    QRadioButton* OddParityRadioButton = nullptr;
};

}  // namespace qb
