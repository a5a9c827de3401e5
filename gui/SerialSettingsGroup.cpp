#include "gui/SerialSettingsGroup.h"

#include <QComboBox>

#include "gui/WidgetMaking.h"
#include "config/KeypadConfig.h"

namespace qb {

using namespace design;

SerialSettingsGroup::SerialSettingsGroup(QWidget* parent) : QGroupBox(tr("Serial Port Settings"), parent) {
    setObjectName(QStringLiteral("GroupBox3"));
    resize(265, 185);
    Label9 = Label(this, QStringLiteral("Label9"), tr("Baud Rate"), QRect(16, 28, 64, 20));
    BaudRateComboBox = Named(new QComboBox(this), QStringLiteral("BaudRateComboBox"), QRect(88, 26, 97, 24));
    BaudRateComboBox->setEditable(false);
    for (const char* rate : kBaudRates) BaudRateComboBox->addItem(QLatin1String(rate));
    BaudRateComboBox->setCurrentIndex(-1);  // FormCreate picks 19200
    BaudRateComboBox->setAccessibleName(QStringLiteral("Baud rate"));
    Label9->setBuddy(BaudRateComboBox);

    GroupBox4 = Named(new QGroupBox(tr("Stop bits"), this), QStringLiteral("GroupBox4"), QRect(16, 64, 105, 105));
    StopBitRadioButton2 = Radio(GroupBox4, "StopBitRadioButton2", tr("2 Stop bits"), QRect(12, 52, 88, 20));
    StopBitRadioButton1 = Radio(GroupBox4, "StopBitRadioButton1", tr("1 Stop bit"), QRect(12, 26, 88, 20));
    StopBitRadioButton1->setChecked(true);

    GroupBox5 = Named(new QGroupBox(tr("Parity"), this), QStringLiteral("GroupBox5"), QRect(136, 64, 113, 105));
    NoParityRadioButton = Radio(GroupBox5, "NoParityRadioButton", tr("None"), QRect(12, 26, 90, 20));
    EvenParityRadioButton = Radio(GroupBox5, "EvenParityRadioButton", tr("Even"), QRect(12, 52, 90, 20));
    OddParityRadioButton = Radio(GroupBox5, "OddParityRadioButton", tr("Odd"), QRect(12, 78, 90, 20));
    NoParityRadioButton->setChecked(true);
}

std::vector<QWidget*> SerialSettingsGroup::tabOrder() const {
    return {BaudRateComboBox,    StopBitRadioButton1,   StopBitRadioButton2,
            NoParityRadioButton, EvenParityRadioButton, OddParityRadioButton};
}

}  // namespace qb
