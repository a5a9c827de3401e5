// Records what the device operations show: boxes, LogMemo lines, the lit key, the test button, busy state.
#pragma once

#include <string>
#include <vector>

#include "protocol/OperationsUi.h"

namespace qb::test {

class FakeOperationsUi : public OperationsUi {
public:
    void showError(const std::u16string& text) override { errors.push_back(text); }
    void showInformation(const std::u16string& text) override { informations.push_back(text); }
    void clearLog() override { log.clear(); }
    void addLogLine(const std::u16string& line) override { log.push_back(line); }
    void showKey(int legendIndex) override {
        litKey = legendIndex;
        ++showKeyCalls;
    }
    void setTestButtonCaption(const std::u16string& text) override { caption = text; }
    void setBusy(bool value) override { busy = value; }
    void finished(const Outcome& outcome) override { outcomes.push_back(outcome); }

    std::vector<std::u16string> errors;
    std::vector<std::u16string> informations;
    std::vector<std::u16string> log;
    int litKey = -1;
    int showKeyCalls = 0;
    std::u16string caption = kTestKeypadCaption;
    bool busy = false;
    std::vector<Outcome> outcomes;
};

}  // namespace qb::test
