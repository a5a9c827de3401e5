// Shared by the window's tests: scripted file dialogs, the window made anew for each test with helpers to reach
// its controls, and the registry the one test program runs its classes from.
#pragma once

#include <functional>
#include <map>
#include <memory>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "FakeSink.h"
#include "WindowFakes.h"
#include "config/KeyTable.h"
#include "device/Transport.h"
#include "gui/Mainunit.h"
#include "gui/simulator/SimulatorWindow.h"
#include "protocol/DeviceImage.h"
#include "simulator/SimulatedDevice.h"

namespace qb::test {

template <typename T = QPushButton>
T* control(const QWidget& form, const QString& name) {
    T* widget = form.findChild<T*>(name);
    if (!widget) qFatal("no control %s", qPrintable(name));
    return widget;
}

inline void click(const QWidget& form, const QString& button) {
    QTest::mouseClick(control(form, button), Qt::LeftButton);
}

inline const KeyInfo& keyNamed(char legend) {
    for (const KeyInfo& k : kKeys)
        if (k.legend == legend) return k;
    qFatal("no key %c", legend);
}

// Replaces an edit's text the way a user does: select all, then type.
inline void retype(QLineEdit* edit, const QString& text) {
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

// Runs `inspect` on the modal box that the next call opens; `inspect` must close it.
inline void onNextModalBox(std::function<void(QMessageBox*)> inspect) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, inspect] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            timer->deleteLater();
            timer->stop();
            inspect(box);
        }
    });
    timer->start(10);
}

// The window made anew for each test: a scripted sink and file dialogs, no device, no help file.
class FormTest : public QObject {
    Q_OBJECT

protected:
    QTemporaryDir folder_;
    SimulatedBus noDevice_;  // no HID interface at all
    FakeSink sink_;
    ScriptedChooser chooser_;
    std::unique_ptr<TMainForm> form_;

    // A new window, shown, on `transport`, looking for its help file in `folder` (none: in folder_).
    void connectTo(Transport& transport, const QString& folder = QString()) {
        form_ = std::make_unique<TMainForm>(transport, folder.isEmpty() ? folder_.path() : folder);
        form_->setUserSink(&sink_);
        form_->setFileChooser(&chooser_);
        form_->show();
        (void)QTest::qWaitForWindowExposed(form_.get());
    }
    std::filesystem::path file(const char* name) const { return (folder_.path() + '/' + name).toStdString(); }
    template <typename T = QLineEdit>
    T* keyControl(const char* prefix, char key) const {
        return control<T>(*form_, QString(prefix) + keyNamed(key).suffix);
    }
    QLineEdit* legend(char key) const { return keyControl("SwitchEdit", key); }
    QLineEdit* message(char key) const { return keyControl("OutStringEdit", key); }
    QString label(char key) const { return keyControl<QLabel>("OutStringLabel", key)->text(); }
    QSpinBox* spin(const char* name) const { return control<QSpinBox>(*form_, name); }
    // Only the key `key` (none for 0) is lit: lime behind its legend, the window colour behind the rest.
    bool lit(char key) const {
        for (const KeyInfo& k : kKeys) {
            const QLineEdit* edit = legend(k.legend);
            const QColor normal = QApplication::palette(edit).color(QPalette::Active, QPalette::Base);
            if (edit->palette().color(QPalette::Base) != (k.legend == key ? QColor(0, 255, 0) : normal)) return false;
        }
        return true;
    }

private slots:
    void init() {
        sink_ = FakeSink();
        chooser_ = ScriptedChooser();
        connectTo(noDevice_);
    }
    void cleanup() { form_.reset(); }
};

// The window on a simulated device, with the simulated device's own window beside it.
class SimulatedFormTest : public FormTest {
    Q_OBJECT

protected:
    std::unique_ptr<SimulatedDevice> device_;
    std::unique_ptr<SimulatorWindow> simulator_;

    QCheckBox* option(const char* name) { return control<QCheckBox>(*simulator_, name); }

private slots:
    void init() {
        sink_ = FakeSink();
        device_ = std::make_unique<SimulatedDevice>();
        connectTo(*device_);
        simulator_ = std::make_unique<SimulatorWindow>(*device_);
        simulator_->show();
    }
    void cleanup() {
        simulator_.reset();
        form_.reset();
        device_.reset();
    }
};

// The test classes of the one program, by name.
template <typename T>
int runTests(int argc, char** argv) {
    T test;
    return QTest::qExec(&test, argc, argv);
}
inline std::map<std::string, int (*)(int, char**)>& testClasses() {
    static std::map<std::string, int (*)(int, char**)> classes;
    return classes;
}

}  // namespace qb::test

// Only the window's test files include this header, and they all use these names unqualified.
using namespace qb;
using namespace qb::test;

#define QB_APP_TEST(Class) static const bool Class##Registered = testClasses().emplace(#Class, &runTests<Class>).second;
