// Closing the window with and without unsaved changes, and the Load File / Save File buttons.
#include <fstream>
#include <memory>

#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "AppTestSupport.h"
#include "FakeSink.h"
#include "device/SimulatedDevice.h"

using namespace qb;
using namespace qb::test;

namespace {

std::vector<char> fileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

class MainFormCloseTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir folder_;  // no help file in it; the data files go here
    NoDeviceTransport noDevice_;
    FakeSink sink_;
    ScriptedChooser chooser_;
    std::unique_ptr<TMainForm> form_;

    std::filesystem::path file(const char* name) const {
        return std::filesystem::path(folder_.path().toStdString()) / name;
    }
    QLineEdit* message(char key) const { return messageEdit(*form_, keyNamed(key)); }
    QPushButton* button(const char* name) const { return control<QPushButton>(*form_, QLatin1String(name)); }
    std::vector<std::u16string> questions() const { return sink_.questions(); }

private slots:
    void initTestCase() {
        QVERIFY(folder_.isValid());
        QApplication::setQuitOnLastWindowClosed(false);
    }
    void init() {
        sink_ = FakeSink();
        chooser_ = ScriptedChooser();
        form_ = std::make_unique<TMainForm>(noDevice_, folder_.path());
        form_->setUserSink(&sink_);
        form_->setFileChooser(&chooser_);
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    }
    void cleanup() { form_.reset(); }

    void startAndCloseAtOnceAsksNothing() {
        QVERIFY(form_->close());
        QVERIFY(!form_->isVisible());
        QVERIFY(sink_.shown.empty());
    }

    void changedAndChangedBackAsksNothing() {
        retype(message('5'), QStringLiteral("HELLO"));
        retype(legendEdit(*form_, keyNamed('A')), QStringLiteral("x"));
        auto* spin = control<QSpinBox>(*form_, QStringLiteral("RowCSpinEdit2"));
        QTest::keyClick(spin, Qt::Key_Down);
        retype(message('5'), QStringLiteral("5"));
        retype(legendEdit(*form_, keyNamed('A')), QStringLiteral("A"));
        QTest::keyClick(spin, Qt::Key_Up);
        QVERIFY(form_->close());
        QVERIFY(sink_.shown.empty());
    }

    void cancelKeepsTheWindowWithTheChange() {
        retype(message('5'), QStringLiteral("HELLO"));
        sink_.answers = {Answer::Cancel};
        QVERIFY(!form_->close());
        QVERIFY(form_->isVisible());
        QCOMPARE(message('5')->text(), QStringLiteral("HELLO"));
        QCOMPARE(questions(), std::vector<std::u16string>{kDataChangedText});
        QCOMPARE(chooser_.saveCalls, 0);

        // Asked again on the next close; No then closes.
        sink_.answers = {Answer::No};
        QVERIFY(form_->close());
        QCOMPARE(questions().size(), std::size_t(2));
    }

    void noClosesWithoutSaving() {
        control<QSpinBox>(*form_, QStringLiteral("CSpinEdit4"))->setValue(6);
        sink_.answers = {Answer::No};
        QVERIFY(form_->close());
        QVERIFY(!form_->isVisible());
        QCOMPARE(chooser_.saveCalls, 0);
        QVERIFY(sink_.errors().empty());
    }

    // A save that did not happen must not lose the changes.
    void yesThenCancelledSaveKeepsTheWindow() {
        retype(message('D'), QStringLiteral("KEEP ME"));
        sink_.answers = {Answer::Yes};
        QVERIFY(!form_->close());
        QVERIFY(form_->isVisible());
        QCOMPARE(chooser_.saveCalls, 1);
        QCOMPARE(message('D')->text(), QStringLiteral("KEEP ME"));
    }

    void yesThenFailedSaveKeepsTheWindow() {
        retype(message('D'), QStringLiteral("KEEP ME"));
        sink_.answers = {Answer::Yes};
        chooser_.saves = {file("no such folder") / "x.dat"};
        QVERIFY(!form_->close());
        QVERIFY(form_->isVisible());
        QCOMPARE(sink_.errors(), std::vector<std::u16string>{kErrorSavingText});
        QCOMPARE(message('D')->text(), QStringLiteral("KEEP ME"));
    }

    void yesThenSaveClosesAndWritesTheFile() {
        retype(message('7'), QStringLiteral("SEVEN\\0D"));
        sink_.answers = {Answer::Yes};
        chooser_.saves = {file("closing.dat")};
        QVERIFY(form_->close());
        QVERIFY(!form_->isVisible());
        const std::vector<char> bytes = fileBytes(file("closing.dat"));
        QCOMPARE(bytes.size(), kDataFileSize);
        QCOMPARE(QByteArray(bytes.data(), 29), QByteArray("\x01\0\0\0VELMORA Quillanterbrooke\0", 29));
        const std::size_t slot = kHeaderSize + kSettingsSize + keyNamed('7').slot * kSlotSize;
        QCOMPARE(QByteArray(bytes.data() + slot, 9), QByteArray("SEVEN\\0D\0", 9));
    }

    void exitButtonAsksLikeTheCloseBox() {
        retype(message('1'), QStringLiteral("changed"));
        sink_.answers = {Answer::Cancel};
        QTest::mouseClick(button("ExitButton"), Qt::LeftButton);
        QVERIFY(form_->isVisible());
        QCOMPARE(questions(), std::vector<std::u16string>{kDataChangedText});
        sink_.answers = {Answer::No};
        QTest::mouseClick(button("ExitButton"), Qt::LeftButton);
        QVERIFY(!form_->isVisible());
    }

    void loadShowsWhatWasSavedAndCountsAsUnchanged() {
        retype(message('5'), QStringLiteral("FIVE\\0A"));
        retype(legendEdit(*form_, keyNamed('5')), QStringLiteral("f"));
        control<QSpinBox>(*form_, QStringLiteral("CSpinEdit2"))->setValue(7);
        chooser_.saves = {file("kept")};  // no extension typed
        QTest::mouseClick(button("SaveButton"), Qt::LeftButton);
        QVERIFY(sink_.shown.empty());
        QVERIFY(std::filesystem::exists(file("kept")));

        // Edits after the save, then the load brings the saved state back without asking.
        retype(message('5'), QStringLiteral("lost"));
        retype(legendEdit(*form_, keyNamed('5')), QStringLiteral("g"));
        control<QSpinBox>(*form_, QStringLiteral("CSpinEdit2"))->setValue(3);
        chooser_.opens = {file("kept")};
        QTest::mouseClick(button("LoadButton"), Qt::LeftButton);
        QVERIFY(sink_.shown.empty());
        QCOMPARE(message('5')->text(), QStringLiteral("FIVE\\0A"));
        QCOMPARE(legendEdit(*form_, keyNamed('5'))->text(), QStringLiteral("f"));
        QCOMPARE(control<QLabel>(*form_, QStringLiteral("OutStringLabel5"))->text(), QStringLiteral("f"));
        QCOMPARE(control<QSpinBox>(*form_, QStringLiteral("CSpinEdit2"))->value(), 7);

        QVERIFY(form_->close());
        QVERIFY(sink_.shown.empty());
    }

    void cancelledLoadChangesNothing() {
        retype(message('2'), QStringLiteral("mine"));
        QTest::mouseClick(button("LoadButton"), Qt::LeftButton);
        QCOMPARE(chooser_.openCalls, 1);
        QVERIFY(sink_.shown.empty());
        QCOMPARE(message('2')->text(), QStringLiteral("mine"));
    }

    void foreignFileIsRefusedAndNothingChanges() {
        {
            std::ofstream out(file("foreign.dat"), std::ios::binary);
            out << std::string(kDataFileSize, 'x');
        }
        retype(message('2'), QStringLiteral("mine"));
        chooser_.opens = {file("foreign.dat")};
        QTest::mouseClick(button("LoadButton"), Qt::LeftButton);
        QCOMPARE(sink_.errors(), std::vector<std::u16string>{kIncompatibleFileText});
        QCOMPARE(message('2')->text(), QStringLiteral("mine"));
    }

    // Once closed, the window neither ticks nor holds the device.
    void closingReleasesTheDevice() {
        SimulatedDevice device;
        form_ = std::make_unique<TMainForm>(device, folder_.path());
        form_->setUserSink(&sink_);
        form_->show();
        QTest::mouseClick(button("TestkeypadButton"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(device.counters().openHandles > 0, 2000);
        QVERIFY(form_->close());
        QCOMPARE(device.counters().openHandles, std::size_t(0));
        QVERIFY(!form_->findChild<QTimer*>(QStringLiteral("Timer1"))->isActive());
        const std::size_t received = device.receivedCount();
        QTest::qWait(300);  // several key-poll periods
        QCOMPARE(device.receivedCount(), received);
        form_.reset();
    }
};

QTEST_MAIN(MainFormCloseTest)
#include "MainFormCloseTest.moc"
