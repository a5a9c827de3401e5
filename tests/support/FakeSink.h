// Records what would be shown to the user and answers the one question from a prepared list.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "config/UserSink.h"

namespace qb::test {

class FakeSink : public UserSink {
public:
    enum class Kind { Error, Information, Question };
    struct Shown {
        Kind kind;
        std::u16string text;
    };

    void showError(const std::u16string& text) override { shown.push_back({Kind::Error, text}); }
    void showInformation(const std::u16string& text) override { shown.push_back({Kind::Information, text}); }
    // Answers in the order given; a question nobody prepared an answer for is answered Cancel.
    Answer askYesNoCancel(const std::u16string& text) override {
        shown.push_back({Kind::Question, text});
        if (answers.empty()) return Answer::Cancel;
        const Answer a = answers.front();
        answers.pop_front();
        return a;
    }

    std::vector<std::u16string> texts(Kind kind) const {
        std::vector<std::u16string> result;
        for (const Shown& s : shown)
            if (s.kind == kind) result.push_back(s.text);
        return result;
    }
    std::vector<std::u16string> errors() const { return texts(Kind::Error); }
    std::vector<std::u16string> questions() const { return texts(Kind::Question); }

    std::vector<Shown> shown;
    std::deque<Answer> answers;
};

}  // namespace qb::test
