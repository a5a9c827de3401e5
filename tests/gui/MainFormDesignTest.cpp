// The window as designed: names, captions, start values, limits, tab orders, accessible names, and the Help
// button with its window.
#include <QClipboard>
#include <QDir>
#include <QGroupBox>
#include <QPointer>

#include "AppTestSupport.h"
#ifdef QB_HAVE_CHMLIB
#include "gui/help/HelpWindow.h"
#endif

class MainFormDesignTest : public FormTest {
    Q_OBJECT

private slots:
    void captions() {
        QCOMPARE(form_->windowTitle(), QStringLiteral("VELMORA Quillanterbrooke Interface Version 1.00"));
        const QString rows = QStringLiteral(
            "GroupBox1=Define Keypad|GroupBox2=Serial Port Messages|GroupBox3=Serial Port Settings|GroupBox4=Stop bits|"
            "GroupBox5=Parity|Label1=Row 1|Label2=Row 2|Label3=Row 3|Label4=Row 4|Label5=Col 1|Label6=Col 2|"
            "Label7=Col 3|Label8=Col 4|Label9=Baud Rate|TestkeypadButton=Test Keypad|LoadButton=Load File|"
            "SaveButton=Save File|WriteButton=Write To VELMORA|ReadButton=Read From VELMORA|HelpButton=Help|"
            "ExitButton=Exit|StopBitRadioButton1=1 Stop bit|StopBitRadioButton2=2 Stop bits|NoParityRadioButton=None|"
            "EvenParityRadioButton=Even|OddParityRadioButton=Odd");
        for (const QString& row : rows.split(QLatin1Char('|'))) {
            QObject* object = control<QObject>(*form_, row.section(QLatin1Char('='), 0, 0));
            QString shown;
            if (auto* group = qobject_cast<QGroupBox*>(object)) shown = group->title();
            if (auto* label = qobject_cast<QLabel*>(object)) shown = label->text();
            if (auto* button = qobject_cast<QAbstractButton*>(object)) shown = button->text();
            QCOMPARE(shown, row.section(QLatin1Char('='), 1));
        }
        for (const KeyInfo& key : kKeys) {
            const QString name(QLatin1Char(key.legend));
            QCOMPARE(legend(key.legend)->text(), name);
            QCOMPARE(message(key.legend)->text(), name);
            QCOMPARE(label(key.legend), name);
            QCOMPARE(legend(key.legend)->accessibleName(), QStringLiteral("Legend of key ") + name);
            QCOMPARE(message(key.legend)->accessibleName(), QStringLiteral("Message of key ") + name);
        }
    }

    // Typed, not only set: the legend takes one character, the message 63 and no 64th.
    void editLimits() {
        retype(legend('5'), QStringLiteral("XY"));
        QCOMPARE(legend('5')->text(), QStringLiteral("X"));
        retype(message('5'), QString(64, QLatin1Char('m')));
        QCOMPARE(message('5')->text(), QString(63, QLatin1Char('m')));
    }

    void lineSelectorsStayWithinOneToEight() {
        for (int i = 1; i <= 4; ++i) {
            for (const auto& [name, spoken, start] :
                 {std::tuple{"RowCSpinEdit%1", "Row %1 line", 4 + i}, std::tuple{"CSpinEdit%1", "Column %1 line", i}}) {
                QSpinBox* box = spin(qPrintable(QString::fromLatin1(name).arg(i)));
                QCOMPARE(box->value(), start);
                QCOMPARE(box->accessibleName(), QString::fromLatin1(spoken).arg(i));
                box->setValue(8);
                QTest::keyClick(box, Qt::Key_Up);
                QCOMPARE(box->value(), 8);
                box->setValue(1);
                QTest::keyClick(box, Qt::Key_Down);
                QCOMPARE(box->value(), 1);
            }
        }
    }

    void serialSettings() {
        auto* baud = control<QComboBox>(*form_, "BaudRateComboBox");
        QVERIFY(!baud->isEditable());
        QCOMPARE(baud->accessibleName(), QStringLiteral("Baud rate"));
        QStringList items;
        for (int i = 0; i < baud->count(); ++i) items << baud->itemText(i);
        QCOMPARE(items, (QStringList{"1200", "2400", "4800", "9600", "19200", "38400", "57600"}));
        QCOMPARE(baud->currentText(), QStringLiteral("19200"));
    }

    void tabOrders() {
        for (const auto& [prefix, order] :
             {std::pair{"SwitchEdit", "147*2580369#ABCD"}, std::pair{"OutStringEdit", "123A456B789C*0#D"}}) {
            keyControl(prefix, order[0])->setFocus();
            for (const char* key = order + 1; *key; ++key) {
                QTest::keyClick(form_->focusWidget(), Qt::Key_Tab);
                QCOMPARE(form_->focusWidget(), keyControl(prefix, *key));
            }
        }
    }

    // Only a file of the help file's name shows the button; a folder of that name does not.
    void withoutTheHelpFileTheButtonIsHidden() {
        QVERIFY(QDir(folder_.path()).mkdir(QStringLiteral("quillanterbrooke.chm")));
        connectTo(noDevice_);
        QVERIFY(control(*form_, "HelpButton")->isHidden());
    }

#if defined(QB_HAVE_CHMLIB) && defined(QB_HELP_DIR)  // the help file is built and can be read
    void withTheHelpFileTheButtonShowsAndOpensTheHelpWindow() {
        connectTo(noDevice_, QStringLiteral(QB_HELP_DIR));
        QVERIFY(!control(*form_, "HelpButton")->isHidden());
        click(*form_, "HelpButton");
        click(*form_, "HelpButton");  // a second click shows the same window, not another one
        QList<QPointer<HelpWindow>> windows;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* help = qobject_cast<HelpWindow*>(w)) windows << help;
        QCOMPARE(windows.size(), 1);
        QVERIFY(windows[0]->isVisible() && !windows[0]->parentWidget());  // a window of its own
        // A link inside a page loads the page it names.
        ChmBrowser* browser = windows[0]->browser();
        emit browser->anchorClicked(QUrl(QStringLiteral("device.html")));
        QCOMPARE(browser->source().path(), QStringLiteral("/device.html"));
        QVERIFY(browser->toPlainText().contains(QStringLiteral("Download Complete")));
        // A command copied from a page is the command shown, without the marks that keep its words whole.
        emit browser->anchorClicked(QUrl(QStringLiteral("troubleshooting.html#linux")));
        browser->selectAll();
        browser->copy();
        QVERIFY(QApplication::clipboard()->text().contains(
            QStringLiteral("\nsudo cp packaging/70-quillanterbrooke.rules /etc/udev/rules.d/\n")));
        QVERIFY(form_->close());
        QVERIFY(!windows[0]);  // closed with the main window
    }
#endif
};

QB_APP_TEST(MainFormDesignTest)
#include "MainFormDesignTest.moc"
