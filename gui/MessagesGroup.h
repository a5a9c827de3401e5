// "Serial Port Messages": for each key its legend as a label and its message edit, in the keypad's own layout.
#pragma once

#include <array>
#include <vector>

#include <QGroupBox>

#include "config/KeyTable.h"

class QLabel;
class QLineEdit;

namespace qb {

class MessagesGroup : public QGroupBox {
    Q_OBJECT
public:
    explicit MessagesGroup(QWidget* parent);

    // The Tab key's order: the message edits row by row.
    std::vector<QWidget*> tabOrder() const;

    std::array<QLabel*, kKeyCount> OutStringLabels{};  // by the key's row-major legendIndex
    std::array<QLineEdit*, kKeyCount> OutStringEdits{};
};

}  // namespace qb
