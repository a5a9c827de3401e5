#include "cli/CliSession.h"

#include <algorithm>
#include <ostream>

#include "config/KeyTable.h"
#include "config/Text.h"

namespace qb {

namespace {

constexpr std::chrono::milliseconds kTick{50};

std::string Lines(std::u16string_view text) {
    return ToUtf8(NormaliseLineBreaks(text));
}

// The value after `prefix` in a log line, or empty.
std::string After(const std::u16string& line, std::u16string_view prefix) {
    return line.rfind(prefix, 0) == 0 ? ToUtf8(line.substr(prefix.size())) : std::string();
}

}  // namespace

void ConsoleUi::showError(const std::u16string& text) {
    err_ << Lines(text) << '\n' << std::flush;
    lastError = text;
    failed = true;
}

void ConsoleUi::showInformation(const std::u16string& text) {
    out_ << Lines(text) << '\n' << std::flush;
    ++completions;
}

void ConsoleUi::addLogLine(const std::u16string& line) {
    out_ << ToUtf8(line) << '\n';
    if (std::string v = After(line, u"Appware Version:"); !v.empty()) version = v;
    if (std::string s = After(line, u"Serial Number: "); !s.empty()) serial = s;
}

void ConsoleUi::showKey(int legendIndex) {
    if (legendIndex == lit_) return;
    lit_ = legendIndex;
    if (legendIndex < 0) {
        out_ << "Key released\n";
    } else {
        const KeyInfo& key = kKeys[legendIndex];
        out_ << "Key " << key.legend << " (row " << key.row << ", column " << key.column << ")\n";
    }
    out_.flush();
}

CliSession::CliSession(Transport& transport, std::ostream& out, std::ostream& err)
    : ui(out, err), link(transport, dispatcher), ops(store, view, link, ui) {
    store.SetDefaultConfig(view);
}

CliSession::~CliSession() {
    link.Stop();
}

void CliSession::run(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const Clock::time_point end = now() + limit;
    Clock::time_point nextTick = now() + kTick;
    while (!done() && !ui.failed) {
        dispatcher.runPending();
        if (done() || ui.failed) break;
        const Clock::time_point t = now();
        if (t >= end) break;
        if (t >= nextTick) {
            ops.Timer1Timer();
            nextTick = t - nextTick >= kTick ? t + kTick : nextTick + kTick;
            continue;
        }
        dispatcher.runOne(std::chrono::duration_cast<std::chrono::milliseconds>(nextTick - t) +
                          std::chrono::milliseconds(1));
    }
}

}  // namespace qb
