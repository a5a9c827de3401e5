#include "gui/MessagesGroup.h"

#include <QLineEdit>

#include "gui/WidgetMaking.h"
#include "config/KeypadConfig.h"

namespace qb {

using namespace design;

namespace {

// Four keys to a row, each a label and an edit side by side.
constexpr int kCellW = 200, kRowPitch = 38, kLabelW = 36, kEditW = 150;

QPoint CellOrigin(const KeyInfo& key) {
    return {16 + (key.column - 1) * kCellW, 30 + (key.row - 1) * kRowPitch};
}

}  // namespace

MessagesGroup::MessagesGroup(QWidget* parent) : QGroupBox(tr("Serial Port Messages"), parent) {
    setObjectName(QStringLiteral("GroupBox2"));
    resize(825, 193);
    const QFont labelFont(QStringLiteral("MS Sans Serif"), 8, QFont::Bold);
    // All labels first, then all edits: the design's order.
    for (const KeyInfo& key : kKeys) {
        auto* label = Label(this, QStringLiteral("OutStringLabel") + QLatin1String(key.suffix), KeyName(key),
                            QRect(CellOrigin(key), QSize(kLabelW, 22)), Qt::AlignRight | Qt::AlignVCenter);
        label->setFont(labelFont);
        label->setTextFormat(Qt::PlainText);
        OutStringLabels[key.legendIndex] = label;
    }
    for (const KeyInfo& key : kKeys) {
        auto* edit =
            Named(new QLineEdit(KeyName(key), this), QStringLiteral("OutStringEdit") + QLatin1String(key.suffix),
                  QRect(CellOrigin(key) + QPoint(kLabelW + 4, 0), QSize(kEditW, 22)));
        edit->setMaxLength(static_cast<int>(kMaxMessageBytes));
        edit->setAccessibleName(QStringLiteral("Message of key %1").arg(KeyName(key)));
        OutStringEdits[key.legendIndex] = edit;
        OutStringLabels[key.legendIndex]->setBuddy(edit);
    }
}

std::vector<QWidget*> MessagesGroup::tabOrder() const {
    return {OutStringEdits.begin(), OutStringEdits.end()};
}

}  // namespace qb
