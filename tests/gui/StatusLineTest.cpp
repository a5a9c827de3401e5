// The status line under the designed area, and presence as the simulated device's window plugs it in and out.
#include "AppTestSupport.h"

class StatusLineTest : public SimulatedFormTest {
    Q_OBJECT

    QString status() const { return control<QLabel>(*form_, "PresenceText")->text(); }

private slots:

    // The line is the window's last, under the 882 x 599 designed area, which keeps its place.
    void liesUnderTheDesignedArea() {
        const QWidget* line = control<QWidget>(*form_, "StatusLine");
        QVERIFY(line->geometry().top() >= 599);
        QCOMPARE(line->geometry().bottom() + 1, form_->height());
        QCOMPARE(form_->width(), 882);
        QVERIFY(control<QWidget>(*form_, "GroupBox2")->geometry().bottom() < 599);
    }

    // Each change shows within a second of the simulated device's checkboxes, without any operation; every text
    // the line can show: PresenceTest.
    void followsPlugAndProgramMode() {
        const QString at = QStringLiteral(" at sim:quillanterbrooke");
        QCOMPARE(status(), QStringLiteral("VELMORA attached") + at);
        option("SimPlugged")->setChecked(false);
        QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("VELMORA not attached"), 1000);
        option("SimPlugged")->setChecked(true);
        QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("VELMORA attached") + at, 1000);
        option("SimProgramMode")->setChecked(true);
        QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("VELMORA in program mode") + at, 1000);
        QVERIFY(sink_.shown.empty());
    }
};

QB_APP_TEST(StatusLineTest)
#include "StatusLineTest.moc"
