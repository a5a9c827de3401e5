// The window as designed: names, captions, start values, limits, arrangement, tab order and accessible names.
#include <memory>

#include <QAbstractSpinBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "AppTestSupport.h"

using namespace qb;
using namespace qb::test;

namespace {

QPoint centreIn(const QWidget* widget, const QWidget* form) {
    return widget->mapTo(form, widget->rect().center());
}

// What the Tab key reaches from `from`: the next control in the focus chain that takes focus by Tab.
QWidget* nextTabStop(QWidget* from, const QWidget* window) {
    for (QWidget* w = from->nextInFocusChain(); w && w != from; w = w->nextInFocusChain()) {
        if ((w->focusPolicy() & Qt::TabFocus) != Qt::TabFocus) continue;
        if (!w->isVisibleTo(window) || !w->isEnabled() || w->focusProxy()) continue;
        return w;
    }
    return nullptr;
}

// Tab stops hidden in composite controls (the edit inside a spin box or combo box) stand for their owner.
QWidget* owningControl(QWidget* w) {
    for (QWidget* p = w->parentWidget(); p; p = p->parentWidget())
        if (qobject_cast<QAbstractSpinBox*>(p) || qobject_cast<QComboBox*>(p)) return p;
    return w;
}

}  // namespace

class MainFormDesignTest : public QObject {
    Q_OBJECT

private:
    NoDeviceTransport transport_;
    QTemporaryDir noHelpFolder_;
    std::unique_ptr<TMainForm> form_;

    template <typename T>
    T* get(const QString& name) {
        return control<T>(*form_, name);
    }

private slots:
    void init() {
        QVERIFY(noHelpFolder_.isValid());
        form_ = std::make_unique<TMainForm>(transport_, noHelpFolder_.path());
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    }
    void cleanup() { form_.reset(); }

    void captionAndClientArea() {
        QCOMPARE(form_->windowTitle(), QStringLiteral("VELMORA Quillanterbrooke Interface Version 1.00"));
        QCOMPARE(form_->size(), QSize(882, 599));
        QCOMPARE(form_->font().family(), QStringLiteral("Tahoma"));
        QCOMPARE(form_->font().pointSize(), 8);
    }

    void captions_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        const std::pair<const char*, const char*> rows[] = {
            {"GroupBox1", "Define Keypad"},
            {"GroupBox2", "Serial Port Messages"},
            {"GroupBox3", "Serial Port Settings"},
            {"GroupBox4", "Stop bits"},
            {"GroupBox5", "Parity"},
            {"Label1", "Row 1"},
            {"Label2", "Row 2"},
            {"Label3", "Row 3"},
            {"Label4", "Row 4"},
            {"Label5", "Col 1"},
            {"Label6", "Col 2"},
            {"Label7", "Col 3"},
            {"Label8", "Col 4"},
            {"Label9", "Baud Rate"},
            {"TestkeypadButton", "Test Keypad"},
            {"LoadButton", "Load File"},
            {"SaveButton", "Save File"},
            {"WriteButton", "Write To VELMORA"},
            {"ReadButton", "Read From VELMORA"},
            {"HelpButton", "Help"},
            {"ExitButton", "Exit"},
            {"StopBitRadioButton1", "1 Stop bit"},
            {"StopBitRadioButton2", "2 Stop bits"},
            {"NoParityRadioButton", "None"},
            {"EvenParityRadioButton", "Even"},
            {"OddParityRadioButton", "Odd"},
        };
        for (const auto& [name, caption] : rows)
            QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(caption);
    }
    void captions() {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QObject* object = form_->findChild<QObject*>(name);
        QVERIFY2(object, qPrintable(name));
        if (auto* group = qobject_cast<QGroupBox*>(object))
            QCOMPARE(group->title(), caption);
        else if (auto* label = qobject_cast<QLabel*>(object))
            QCOMPARE(label->text(), caption);
        else if (auto* button = qobject_cast<QAbstractButton*>(object))
            QCOMPARE(button->text(), caption);
        else
            QFAIL("unexpected control kind");
    }

    void keypadGrid() {
        auto* panel = get<QFrame>(QStringLiteral("Panel1"));
        QVERIFY(panel);
        QCOMPARE(panel->parentWidget(), get<QGroupBox>(QStringLiteral("GroupBox1")));
        for (const KeyInfo& key : kKeys) {
            QLineEdit* edit = legendEdit(*form_, key);
            QVERIFY(edit);
            QCOMPARE(edit->parentWidget(), panel);
            QCOMPARE(edit->text(), QString(QLatin1Char(key.legend)));
            QCOMPARE(edit->maxLength(), 1);
            QCOMPARE(edit->size(), QSize(33, 28));
            QCOMPARE(edit->font().family(), QStringLiteral("MS Sans Serif"));
            QCOMPARE(edit->font().pointSize(), 12);
            QCOMPARE(edit->accessibleName(), QStringLiteral("Legend of key %1").arg(QLatin1Char(key.legend)));
        }
        // Laid out like the keypad: same row, same top; same column, same left; rows go down, columns go right.
        for (const KeyInfo& a : kKeys) {
            for (const KeyInfo& b : kKeys) {
                const QRect ra = legendEdit(*form_, a)->geometry();
                const QRect rb = legendEdit(*form_, b)->geometry();
                if (a.row == b.row) QCOMPARE(ra.top(), rb.top());
                if (a.column == b.column) QCOMPARE(ra.left(), rb.left());
                if (a.row < b.row) QVERIFY(ra.bottom() < rb.top());
                if (a.column < b.column) QVERIFY(ra.right() < rb.left());
            }
        }
    }

    void lineSelectors() {
        for (int i = 0; i < 4; ++i) {
            auto* rowSpin = get<QSpinBox>(QStringLiteral("RowCSpinEdit%1").arg(i + 1));
            auto* colSpin = get<QSpinBox>(QStringLiteral("CSpinEdit%1").arg(i + 1));
            QVERIFY(rowSpin && colSpin);
            QCOMPARE(rowSpin->minimum(), 1);
            QCOMPARE(rowSpin->maximum(), 8);
            QCOMPARE(colSpin->minimum(), 1);
            QCOMPARE(colSpin->maximum(), 8);
            QCOMPARE(rowSpin->value(), 5 + i);
            QCOMPARE(colSpin->value(), 1 + i);
            QCOMPARE(rowSpin->accessibleName(), QStringLiteral("Row %1 line").arg(i + 1));
            QCOMPARE(colSpin->accessibleName(), QStringLiteral("Column %1 line").arg(i + 1));

            // Each row selector stands left of its row, level with it; each column selector under its column.
            QLineEdit* rowEdit = legendEdit(*form_, kKeys[4 * i]);
            QLineEdit* columnEdit = legendEdit(*form_, kKeys[i]);
            QLineEdit* bottomEdit = legendEdit(*form_, kKeys[12 + i]);
            QVERIFY(qAbs(centreIn(rowSpin, form_.get()).y() - centreIn(rowEdit, form_.get()).y()) <= 2);
            QVERIFY(rowSpin->mapTo(form_.get(), QPoint(rowSpin->width(), 0)).x() <
                    rowEdit->mapTo(form_.get(), QPoint(0, 0)).x());
            QVERIFY(qAbs(centreIn(colSpin, form_.get()).x() - centreIn(columnEdit, form_.get()).x()) <= 2);
            QVERIFY(colSpin->mapTo(form_.get(), QPoint(0, 0)).y() >
                    bottomEdit->mapTo(form_.get(), QPoint(0, bottomEdit->height())).y());

            // "Row n" left of its selector, "Col n" under its selector.
            auto* rowLabel = get<QLabel>(QStringLiteral("Label%1").arg(i + 1));
            auto* colLabel = get<QLabel>(QStringLiteral("Label%1").arg(i + 5));
            QVERIFY(rowLabel->geometry().right() < rowSpin->geometry().left());
            QVERIFY(qAbs(rowLabel->geometry().center().y() - rowSpin->geometry().center().y()) <= 2);
            QVERIFY(colLabel->geometry().top() > colSpin->geometry().bottom());
            QVERIFY(qAbs(colLabel->geometry().center().x() - colSpin->geometry().center().x()) <= 2);
        }
    }

    void spinEditorsStayWithinOneToEight_data() {
        QTest::addColumn<QString>("name");
        for (int i = 1; i <= 4; ++i) {
            QTest::newRow(qPrintable(QStringLiteral("row %1").arg(i))) << QStringLiteral("RowCSpinEdit%1").arg(i);
            QTest::newRow(qPrintable(QStringLiteral("col %1").arg(i))) << QStringLiteral("CSpinEdit%1").arg(i);
        }
    }
    void spinEditorsStayWithinOneToEight() {
        QFETCH(QString, name);
        auto* spin = get<QSpinBox>(name);
        QVERIFY(spin);
        spin->setValue(8);
        QTest::keyClick(spin, Qt::Key_Up);
        QCOMPARE(spin->value(), 8);
        spin->setValue(1);
        QTest::keyClick(spin, Qt::Key_Down);
        QCOMPARE(spin->value(), 1);
        QTest::keyClick(spin, Qt::Key_Up);
        QCOMPARE(spin->value(), 2);
        spin->setValue(0);
        QCOMPARE(spin->value(), 1);
        spin->setValue(9);
        QCOMPARE(spin->value(), 8);
    }

    void editLimits() {
        QLineEdit* legend = legendEdit(*form_, keyNamed('5'));
        retype(legend, QStringLiteral("XY"));
        QCOMPARE(legend->text(), QStringLiteral("X"));

        QLineEdit* message = messageEdit(*form_, keyNamed('5'));
        QCOMPARE(message->maxLength(), 63);
        retype(message, QString(70, QLatin1Char('m')));
        QCOMPARE(message->text(), QString(63, QLatin1Char('m')));
    }

    void messageArea() {
        auto* group = get<QGroupBox>(QStringLiteral("GroupBox2"));
        QVERIFY(group);
        for (const KeyInfo& key : kKeys) {
            auto* label = get<QLabel>(QStringLiteral("OutStringLabel") + keySuffix(key));
            QLineEdit* edit = messageEdit(*form_, key);
            QVERIFY(label && edit);
            QCOMPARE(label->parentWidget(), group);
            QCOMPARE(edit->parentWidget(), group);
            QCOMPARE(label->text(), QString(QLatin1Char(key.legend)));
            QVERIFY(label->font().bold());
            QCOMPARE(label->font().pointSize(), 8);
            QCOMPARE(label->font().family(), QStringLiteral("MS Sans Serif"));
            QCOMPARE(edit->text(), QString(QLatin1Char(key.legend)));
            QCOMPARE(edit->width(), 150);
            QCOMPARE(edit->accessibleName(), QStringLiteral("Message of key %1").arg(QLatin1Char(key.legend)));
            // The label sits just left of its own edit, on the same line.
            QVERIFY(label->geometry().right() < edit->geometry().left());
            QVERIFY(edit->geometry().left() - label->geometry().right() < 20);
            QVERIFY(qAbs(label->geometry().center().y() - edit->geometry().center().y()) <= 2);
        }
        // Four keys to a row in the keypad's own layout: 1 2 3 A / 4 5 6 B / 7 8 9 C / * 0 # D.
        for (const KeyInfo& a : kKeys) {
            for (const KeyInfo& b : kKeys) {
                const QRect ra = messageEdit(*form_, a)->geometry();
                const QRect rb = messageEdit(*form_, b)->geometry();
                if (a.row == b.row) QCOMPARE(ra.top(), rb.top());
                if (a.column == b.column) QCOMPARE(ra.left(), rb.left());
                if (a.row < b.row) QVERIFY(ra.bottom() < rb.top());
                if (a.column < b.column) QVERIFY(ra.right() < rb.left());
            }
        }
    }

    void serialSettings() {
        auto* baud = get<QComboBox>(QStringLiteral("BaudRateComboBox"));
        QVERIFY(baud);
        QVERIFY(!baud->isEditable());
        QCOMPARE(baud->accessibleName(), QStringLiteral("Baud rate"));
        QStringList items;
        for (int i = 0; i < baud->count(); ++i) items << baud->itemText(i);
        QCOMPARE(items, (QStringList{"1200", "2400", "4800", "9600", "19200", "38400", "57600"}));
        QCOMPARE(baud->currentIndex(), 4);
        QCOMPARE(baud->currentText(), QStringLiteral("19200"));

        auto* stop1 = get<QRadioButton>(QStringLiteral("StopBitRadioButton1"));
        auto* stop2 = get<QRadioButton>(QStringLiteral("StopBitRadioButton2"));
        auto* none = get<QRadioButton>(QStringLiteral("NoParityRadioButton"));
        auto* even = get<QRadioButton>(QStringLiteral("EvenParityRadioButton"));
        auto* odd = get<QRadioButton>(QStringLiteral("OddParityRadioButton"));
        QVERIFY(stop1->isChecked() && !stop2->isChecked());
        QVERIFY(none->isChecked() && !even->isChecked() && !odd->isChecked());
        QCOMPARE(stop1->parentWidget(), get<QGroupBox>(QStringLiteral("GroupBox4")));
        QCOMPARE(odd->parentWidget(), get<QGroupBox>(QStringLiteral("GroupBox5")));
        // Upper to lower: 1 then 2 stop bits; None, Even, Odd.
        QVERIFY(stop1->y() < stop2->y());
        QVERIFY(none->y() < even->y() && even->y() < odd->y());

        // The two groups are independent: a click in one leaves the other as it was.
        // Clicked on the indicator: a radio button answers clicks on its indicator and caption only.
        QTest::mouseClick(odd, Qt::LeftButton, {}, QPoint(8, odd->height() / 2));
        QVERIFY(odd->isChecked() && !none->isChecked() && !even->isChecked());
        QVERIFY(stop1->isChecked());
        QTest::mouseClick(stop2, Qt::LeftButton, {}, QPoint(8, stop2->height() / 2));
        QVERIFY(stop2->isChecked() && !stop1->isChecked());
        QVERIFY(odd->isChecked());
    }

    void areasAndButtons() {
        QCOMPARE(get<QGroupBox>(QStringLiteral("GroupBox1"))->size(), QSize(409, 321));
        QCOMPARE(get<QGroupBox>(QStringLiteral("GroupBox3"))->size(), QSize(265, 185));
        QCOMPARE(get<QGroupBox>(QStringLiteral("GroupBox2"))->size(), QSize(825, 193));
        auto* memo = get<QPlainTextEdit>(QStringLiteral("LogMemo"));
        QCOMPARE(memo->size(), QSize(185, 77));

        const QRect keypad = get<QGroupBox>(QStringLiteral("GroupBox1"))->geometry();
        const QRect serial = get<QGroupBox>(QStringLiteral("GroupBox3"))->geometry();
        const QRect messages = get<QGroupBox>(QStringLiteral("GroupBox2"))->geometry();
        // Keypad top left, serial settings top right, the memo under them, messages along the bottom.
        QVERIFY(keypad.right() < serial.left());
        QVERIFY(memo->geometry().top() > serial.bottom());
        QVERIFY(memo->geometry().left() > keypad.right());
        QVERIFY(messages.top() > keypad.bottom() && messages.top() > memo->geometry().bottom());

        // The button column between them, top to bottom in this order, all the same size.
        const char* order[] = {"LoadButton", "SaveButton", "WriteButton", "ReadButton", "HelpButton", "ExitButton"};
        QRect previous;
        for (const char* name : order) {
            auto* button = get<QPushButton>(QLatin1String(name));
            QVERIFY(button);
            QCOMPARE(button->parentWidget(), form_.get());
            QCOMPARE(button->size(), QSize(113, 25));
            QVERIFY(button->geometry().left() > keypad.right() && button->geometry().right() < serial.left());
            if (!previous.isNull()) {
                QCOMPARE(button->x(), previous.x());
                QVERIFY(button->geometry().top() > previous.bottom());
            }
            previous = button->geometry();
        }
        QVERIFY(previous.bottom() < messages.top());

        // "Test Keypad" at the bottom left of "Define Keypad", below the column selectors.
        auto* test = get<QPushButton>(QStringLiteral("TestkeypadButton"));
        QCOMPARE(test->parentWidget(), get<QGroupBox>(QStringLiteral("GroupBox1")));
        QVERIFY(test->geometry().top() > get<QLabel>(QStringLiteral("Label5"))->geometry().bottom());
        QVERIFY(test->geometry().left() < get<QFrame>(QStringLiteral("Panel1"))->geometry().left());
    }

    // Within every container, no two visible controls overlap and none sticks out of its container.
    void nothingOverlaps() {
        std::vector<QWidget*> containers{form_.get()};
        for (QGroupBox* g : form_->findChildren<QGroupBox*>()) containers.push_back(g);
        containers.push_back(get<QFrame>(QStringLiteral("Panel1")));
        for (QWidget* container : containers) {
            std::vector<QWidget*> children;
            for (QWidget* w : container->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
                if (w->isVisibleTo(form_.get()) && !w->isWindow()) children.push_back(w);
            for (std::size_t i = 0; i < children.size(); ++i) {
                QVERIFY2(container->rect().contains(children[i]->geometry()),
                         qPrintable(children[i]->objectName() + QStringLiteral(" sticks out")));
                for (std::size_t j = i + 1; j < children.size(); ++j) {
                    QVERIFY2(!children[i]->geometry().intersects(children[j]->geometry()),
                             qPrintable(children[i]->objectName() + QStringLiteral(" overlaps ") +
                                        children[j]->objectName()));
                }
            }
        }
    }

    void logMemoAndTimer() {
        auto* memo = get<QPlainTextEdit>(QStringLiteral("LogMemo"));
        QVERIFY(memo->isReadOnly());
        QVERIFY(memo->toPlainText().isEmpty());
        QCOMPARE(memo->palette().color(QPalette::Base), memo->palette().color(QPalette::Button));
        QVERIFY(!memo->accessibleName().isEmpty());
        auto* timer = form_->findChild<QTimer*>(QStringLiteral("Timer1"));
        QVERIFY(timer);
        QCOMPARE(timer->interval(), 50);
        QVERIFY(timer->isActive());
    }

    void tabOrderOfTheGrid() {
        const char order[] = {'1', '4', '7', '*', '2', '5', '8', '0', '3', '6', '9', '#', 'A', 'B', 'C', 'D'};
        QWidget* current = legendEdit(*form_, keyNamed(order[0]));
        for (std::size_t i = 1; i < sizeof order; ++i) {
            QWidget* next = nextTabStop(current, form_.get());
            QVERIFY(next);
            QCOMPARE(next->objectName(), legendEdit(*form_, keyNamed(order[i]))->objectName());
            current = next;
        }
    }

    void tabOrderOfTheMessages() {
        const char order[] = {'1', '2', '3', 'A', '4', '5', '6', 'B', '7', '8', '9', 'C', '*', '0', '#', 'D'};
        QWidget* current = messageEdit(*form_, keyNamed(order[0]));
        for (std::size_t i = 1; i < sizeof order; ++i) {
            QWidget* next = nextTabStop(current, form_.get());
            QVERIFY(next);
            QCOMPARE(next->objectName(), messageEdit(*form_, keyNamed(order[i]))->objectName());
            current = next;
        }
    }

    // Every control reachable by Tab carries a name a screen reader can speak, and the chain reaches them all.
    void everyTabStopIsNamed() {
        QWidget* first = legendEdit(*form_, kKeys[0]);
        QWidget* current = first;
        int visited = 0;
        do {
            QWidget* owner = owningControl(current);
            QString spoken = owner->accessibleName();
            if (auto* button = qobject_cast<QAbstractButton*>(owner); button && spoken.isEmpty())
                spoken = button->text();
            QVERIFY2(!spoken.isEmpty(), qPrintable(owner->objectName() + QStringLiteral(" has no spoken name")));
            current = nextTabStop(current, form_.get());
            QVERIFY(current);
            ++visited;
        } while (current != first && visited < 200);
        // 16 legends, 8 line selectors, 6 buttons (Help is hidden without its file), 1 list, 5 radio buttons,
        // 16 messages, the memo.
        QCOMPARE(visited, 16 + 8 + 6 + 1 + 5 + 16 + 1);
    }

    void busyDisablesTheDeviceButtons() {
        auto* write = get<QPushButton>(QStringLiteral("WriteButton"));
        auto* read = get<QPushButton>(QStringLiteral("ReadButton"));
        auto* test = get<QPushButton>(QStringLiteral("TestkeypadButton"));
        auto* load = get<QPushButton>(QStringLiteral("LoadButton"));
        form_->setBusy(true);
        QVERIFY(!write->isEnabled() && !read->isEnabled() && !test->isEnabled());
        QVERIFY(load->isEnabled());
        form_->setBusy(false);
        QVERIFY(write->isEnabled() && read->isEnabled() && test->isEnabled());
    }
};

QTEST_MAIN(MainFormDesignTest)
#include "MainFormDesignTest.moc"
