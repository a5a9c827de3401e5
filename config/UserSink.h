// What the tool tells the user, and the one question it asks. The window shows modal message boxes; the
// command line prints lines; tests record them.
#pragma once

#include <string>

namespace qb {

enum class Answer { Yes, No, Cancel };

// Errors and completions: all the device operations ever show.
class MessageSink {
public:
    virtual ~MessageSink() = default;
    // Texts may hold "\r\n" or a lone "\r" as a line break; a front end shows those as separate lines.
    virtual void showError(const std::u16string& text) = 0;
    virtual void showInformation(const std::u16string& text) = 0;
};

// The window's sink adds the close question.
class UserSink : public MessageSink {
public:
    // Yes / No / Cancel. A box closed without a button counts as Cancel: nothing is lost that way.
    virtual Answer askYesNoCancel(const std::u16string& text) = 0;
};

}  // namespace qb
