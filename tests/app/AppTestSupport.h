// Stand-ins for the window's tests: a machine without the device, scripted file dialogs, and helpers to reach
// the window's controls by their names.
#pragma once

#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <QLineEdit>
#include <QString>
#include <QTest>

#include "app/Mainunit.h"
#include "config/DataFile.h"
#include "config/KeyTable.h"
#include "device/Transport.h"

namespace qb::test {

// No HID interface at all.
class NoDeviceTransport : public Transport {
public:
    std::vector<HidInterfaceInfo> enumerate() override {
        ++enumerations;
        return {};
    }
    std::unique_ptr<HidHandle> open(const std::string&) override { return nullptr; }
    int enumerations = 0;
};

// The file dialogs: each call takes the next prepared answer; an unprepared call is a cancel.
class ScriptedChooser : public FileChooser {
public:
    std::optional<std::filesystem::path> chooseFileToOpen() override { return take(opens, openCalls); }
    std::optional<std::filesystem::path> chooseFileToSave() override { return take(saves, saveCalls); }

    std::deque<std::optional<std::filesystem::path>> opens;
    std::deque<std::optional<std::filesystem::path>> saves;
    int openCalls = 0;
    int saveCalls = 0;

private:
    static std::optional<std::filesystem::path> take(std::deque<std::optional<std::filesystem::path>>& q, int& calls) {
        ++calls;
        if (q.empty()) return std::nullopt;
        auto answer = q.front();
        q.pop_front();
        return answer;
    }
};

inline QString keySuffix(const KeyInfo& key) {
    return QLatin1String(key.suffix);
}

template <typename T>
T* control(const QWidget& form, const QString& name) {
    T* widget = form.findChild<T*>(name);
    if (!widget) qWarning("no control %s", qPrintable(name));
    return widget;
}

inline QLineEdit* legendEdit(const QWidget& form, const KeyInfo& key) {
    return control<QLineEdit>(form, QStringLiteral("SwitchEdit") + keySuffix(key));
}

inline QLineEdit* messageEdit(const QWidget& form, const KeyInfo& key) {
    return control<QLineEdit>(form, QStringLiteral("OutStringEdit") + keySuffix(key));
}

inline const KeyInfo& keyNamed(char legend) {
    for (const KeyInfo& k : kKeys)
        if (k.legend == legend) return k;
    return kKeys[0];
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

}  // namespace qb::test
