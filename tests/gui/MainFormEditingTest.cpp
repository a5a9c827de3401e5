// Editing in the window: legend mirroring and the message boxes. Writing what was edited into a device:
// SerialMonitorTest; the lit key: SimulatorWindowTest.
#include "AppTestSupport.h"

class MainFormEditingTest : public FormTest {
    Q_OBJECT

private slots:
    // Each legend typed shows as its own key's message label (what else mirroring does: presenter tests).
    void legendsMirrorIntoTheirLabels() {
        for (const KeyInfo& key : kKeys) retype(legend(key.legend), QString(QChar(u'a' + key.legendIndex)));
        for (const KeyInfo& key : kKeys) QCOMPARE(label(key.legend), QString(QChar(u'a' + key.legendIndex)));
    }

    // The real boxes: line breaks as lines, no title, Yes/No/Cancel for the question, Esc counting as Cancel.
    void messageBoxes_data() {
        QTest::addColumn<char>("kind");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("press");  // a QMessageBox::StandardButton, or 0 for Esc
        QTest::addColumn<int>("answer");
        const QString question = QStringLiteral("Data has changed\r\nSave now?");
        QTest::newRow("error") << 'E' << QStringLiteral("Data has changed\rSave now?") << int(QMessageBox::Ok) << 0;
        QTest::newRow("information") << 'I' << question << int(QMessageBox::Ok) << 0;
        QTest::newRow("Yes") << 'Q' << question << int(QMessageBox::Yes) << int(Answer::Yes);
        QTest::newRow("No") << 'Q' << question << int(QMessageBox::No) << int(Answer::No);
        QTest::newRow("Cancel") << 'Q' << question << int(QMessageBox::Cancel) << int(Answer::Cancel);
        QTest::newRow("Esc") << 'Q' << question << 0 << int(Answer::Cancel);
    }
    void messageBoxes() {
        QFETCH(char, kind);
        QFETCH(QString, text);
        QFETCH(int, press);
        QFETCH(int, answer);
        QtUserSink boxes(form_.get());
        QString shown, title = QStringLiteral("unseen");
        QMessageBox::StandardButtons buttons;
        onNextModalBox([&](QMessageBox* box) {
            std::tie(shown, title, buttons) = std::tuple(box->text(), box->windowTitle(), box->standardButtons());
            if (press == 0)
                QTest::keyClick(box, Qt::Key_Escape);
            else
                box->button(QMessageBox::StandardButton(press))->click();
        });
        if (kind == 'E') boxes.showError(text.toStdU16String());
        if (kind == 'I') boxes.showInformation(text.toStdU16String());
        if (kind == 'Q') QCOMPARE(int(boxes.askYesNoCancel(text.toStdU16String())), answer);
        QCOMPARE(shown, QStringLiteral("Data has changed\nSave now?"));
        QCOMPARE(title, QString());
        QCOMPARE(buttons, kind == 'Q' ? QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel
                                      : QMessageBox::StandardButtons(QMessageBox::Ok));
    }
};

QB_APP_TEST(MainFormEditingTest)
#include "MainFormEditingTest.moc"
