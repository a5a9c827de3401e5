#include "gui/KeypadGroup.h"

#include <QFrame>
#include <QLineEdit>

#include "gui/WidgetMaking.h"
#include "protocol/OperationsUi.h"

namespace qb {

namespace {

using namespace design;

constexpr int kWidth = 409, kHeight = 321;
// The grid's cells are 64 px apart across and 44 px down.
constexpr int kPanelX = 116, kPanelY = 24, kPanelW = 265, kPanelH = 192;
constexpr int kCellLeft = 20, kCellTop = 16, kCellPitchX = 64, kCellPitchY = 44;
constexpr int kLegendW = 33, kLegendH = 28;
constexpr int kSpinW = 49, kSpinH = 22;
constexpr int kButtonW = 113, kButtonH = 25;

int RowCentre(int row) {
    return kPanelY + kCellTop + row * kCellPitchY + kLegendH / 2;
}
int ColumnCentre(int column) {
    return kPanelX + kCellLeft + column * kCellPitchX + kLegendW / 2;
}

QSpinBox* LineSpin(QWidget* parent, const QString& name, const QString& spoken, int value, QRect geometry) {
    auto* spin = Named(new QSpinBox(parent), name, geometry);
    spin->setRange(1, 8);
    spin->setValue(value);
    spin->setAccessibleName(spoken);
    return spin;
}

}  // namespace

KeypadGroup::KeypadGroup(QWidget* parent) : QGroupBox(tr("Define Keypad"), parent) {
    setObjectName(QStringLiteral("GroupBox1"));
    resize(kWidth, kHeight);
    for (int row = 0; row < 4; ++row)
        Labels1to8[row] = Label(this, QStringLiteral("Label%1").arg(row + 1), tr("Row %1").arg(row + 1),
                                QRect(12, RowCentre(row) - 8, 40, 16));
    for (int column = 0; column < 4; ++column)
        Labels1to8[4 + column] =
            Label(this, QStringLiteral("Label%1").arg(5 + column), tr("Col %1").arg(column + 1),
                  QRect(ColumnCentre(column) - 24, kPanelY + kPanelH + 36, 48, 16), Qt::AlignCenter);

    Panel1 = Named(new QFrame(this), QStringLiteral("Panel1"), QRect(kPanelX, kPanelY, kPanelW, kPanelH));
    Panel1->setFrameShape(QFrame::Panel);
    Panel1->setFrameShadow(QFrame::Raised);
    Panel1->setAccessibleName(QStringLiteral("Keypad"));

    const QFont legendFont(QStringLiteral("MS Sans Serif"), 12);
    for (const KeyInfo& key : kKeys) {
        auto* edit =
            Named(new QLineEdit(KeyName(key), Panel1), QStringLiteral("SwitchEdit") + QLatin1String(key.suffix),
                  QRect(kCellLeft + (key.column - 1) * kCellPitchX, kCellTop + (key.row - 1) * kCellPitchY, kLegendW,
                        kLegendH));
        edit->setMaxLength(1);
        edit->setFont(legendFont);
        edit->setAlignment(Qt::AlignCenter);
        edit->setAccessibleName(QStringLiteral("Legend of key %1").arg(KeyName(key)));
        edit->setAccessibleDescription(QStringLiteral("Row %1, column %2").arg(key.row).arg(key.column));
        SwitchEdits[key.legendIndex] = edit;
    }
    for (int row = 0; row < 4; ++row) {
        RowCSpinEdits[row] =
            LineSpin(this, QStringLiteral("RowCSpinEdit%1").arg(row + 1), QStringLiteral("Row %1 line").arg(row + 1),
                     5 + row, QRect(56, RowCentre(row) - kSpinH / 2, kSpinW, kSpinH));
        Labels1to8[row]->setBuddy(RowCSpinEdits[row]);
    }
    for (int column = 0; column < 4; ++column) {
        CSpinEdits[column] = LineSpin(this, QStringLiteral("CSpinEdit%1").arg(column + 1),
                                      QStringLiteral("Column %1 line").arg(column + 1), 1 + column,
                                      QRect(ColumnCentre(column) - kSpinW / 2, kPanelY + kPanelH + 10, kSpinW, kSpinH));
        Labels1to8[4 + column]->setBuddy(CSpinEdits[column]);
    }
    TestkeypadButton = Button(this, "TestkeypadButton", QString::fromStdU16String(kTestKeypadCaption),
                              QRect(12, kHeight - 12 - kButtonH, kButtonW, kButtonH));
}

std::vector<QWidget*> KeypadGroup::tabOrder() const {
    std::vector<QWidget*> order;
    for (int slot = 0; slot < kKeyCount; ++slot) order.push_back(SwitchEdits[KeyBySlot(slot).legendIndex]);
    order.insert(order.end(), RowCSpinEdits.begin(), RowCSpinEdits.end());
    order.insert(order.end(), CSpinEdits.begin(), CSpinEdits.end());
    return order;
}

}  // namespace qb
