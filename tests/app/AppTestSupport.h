// Shared by the window's tests: the common includes, a machine without the device, scripted file dialogs, the window
// with its stand-ins, helpers to reach its controls, and the registry the one test program runs its classes from.
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
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "FakeSink.h"
#include "app/Mainunit.h"
#include "config/DataFile.h"
#include "config/KeyTable.h"
#include "device/DeviceLink.h"
#include "device/SimulatedDevice.h"
#include "device/Transport.h"
#include "protocol/Operations.h"

namespace qb::test {

// No HID interface at all.
class NoDeviceTransport : public Transport {
public:
    std::vector<HidInterfaceInfo> enumerate() override { return {}; }
    std::unique_ptr<HidHandle> open(const std::string&) override { return nullptr; }
};

// The file dialogs: each call takes the next prepared answer; an unprepared call is a cancel.
class ScriptedChooser : public FileChooser {
public:
    using Path = std::optional<std::filesystem::path>;
    Path chooseFileToOpen() override { return take(opens, openCalls); }
    Path chooseFileToSave() override { return take(saves, saveCalls); }
    std::deque<Path> opens, saves;
    int openCalls = 0, saveCalls = 0;

private:
    static Path take(std::deque<Path>& answers, int& calls) {
        ++calls;
        if (answers.empty()) return std::nullopt;
        Path answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

template <typename T = QPushButton>
T* control(const QWidget& form, const QString& name) {
    T* widget = form.findChild<T*>(name);
    if (!widget) qFatal("no control %s", qPrintable(name));
    return widget;
}

inline void click(const QWidget& form, const char* button) {
    QTest::mouseClick(control(form, QLatin1String(button)), Qt::LeftButton);
}

inline QLineEdit* legendEdit(const QWidget& form, const KeyInfo& key) {
    return control<QLineEdit>(form, QStringLiteral("SwitchEdit") + QLatin1String(key.suffix));
}

inline QLineEdit* messageEdit(const QWidget& form, const KeyInfo& key) {
    return control<QLineEdit>(form, QStringLiteral("OutStringEdit") + QLatin1String(key.suffix));
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
    if (text.isEmpty())
        QTest::keyClick(edit, Qt::Key_Delete);
    else
        QTest::keyClicks(edit, text);
}

// Only the key at `legendIndex` (none for -1) is lit: lime behind its legend, the window colour behind the rest.
inline bool onlyLit(const QWidget& form, int legendIndex) {
    for (const KeyInfo& key : kKeys) {
        const QLineEdit* edit = legendEdit(form, key);
        const QColor expected = key.legendIndex == legendIndex
                                    ? QColor(0, 255, 0)
                                    : QApplication::palette(edit).color(QPalette::Active, QPalette::Base);
        if (edit->palette().color(QPalette::Base) != expected) return false;
    }
    return true;
}

// Runs `inspect` on the modal box that the next call opens; `inspect` must close it.
inline void onNextModalBox(std::function<void(QMessageBox*)> inspect) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, inspect] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        timer->stop();
        timer->deleteLater();
        inspect(box);
    });
    timer->start();
}

// The window made anew for each test: a scripted sink and file dialogs, no device, no help file;
// form_->setUserSink(nullptr) brings back the real message boxes.
class FormTest : public QObject {
    Q_OBJECT

protected:
    QTemporaryDir folder_;
    NoDeviceTransport noDevice_;
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
    QLineEdit* legend(char key) const { return legendEdit(*form_, keyNamed(key)); }
    QLineEdit* message(char key) const { return messageEdit(*form_, keyNamed(key)); }
    QString label(char key) const {
        return control<QLabel>(*form_, QStringLiteral("OutStringLabel") + QLatin1String(keyNamed(key).suffix))->text();
    }
    QSpinBox* spin(const QString& name) const { return control<QSpinBox>(*form_, name); }

private slots:
    void init() {
        sink_ = FakeSink();
        chooser_ = ScriptedChooser();
        connectTo(noDevice_);
    }
    void cleanup() { form_.reset(); }
};

// The test classes of the one program, by name.
inline std::map<std::string, int (*)(int, char**)>& testClasses() {
    static std::map<std::string, int (*)(int, char**)> classes;
    return classes;
}

}  // namespace qb::test

// Only the window's test files include this header, and they all use these names unqualified.
using namespace qb;
using namespace qb::test;

#define QB_APP_TEST(Class)                        \
    static const bool Class##Registered = (       \
        qb::test::testClasses()[#Class] =         \
            [](int c, char** v) {                 \
                Class test;                       \
                return QTest::qExec(&test, c, v); \
            },                                    \
        true);
