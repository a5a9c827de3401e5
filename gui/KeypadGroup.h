// "Define Keypad": the 4 x 4 grid of legend edits laid out like the keypad, the line selector of each row (left)
// and column (below), and the "Test Keypad" button.
#pragma once

#include <array>
#include <vector>

#include <QGroupBox>

#include "config/KeyTable.h"

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace qb {

class KeypadGroup : public QGroupBox {
    Q_OBJECT
public:
    explicit KeypadGroup(QWidget* parent);

    // The Tab key's order: the grid column by column, the row selectors, the column selectors.
    std::vector<QWidget*> tabOrder() const;

    std::array<QLabel*, 8> Labels1to8{};  // Label1..Label4 "Row n", Label5..Label8 "Col n"
    QFrame* Panel1 = nullptr;
    std::array<QLineEdit*, kKeyCount> SwitchEdits{};  // by the key's row-major legendIndex
    std::array<QSpinBox*, 4> RowCSpinEdits{};
    std::array<QSpinBox*, 4> CSpinEdits{};
    QPushButton* TestkeypadButton = nullptr;
};

}  // namespace qb
