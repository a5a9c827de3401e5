// What the tool has to tell the user, and the one question it asks. The window shows modal message boxes;
// tests and the command line use their own implementations.
#pragma once

#include <string>

namespace qb {

enum class Answer { Yes, No, Cancel };

class UserSink {
public:
    virtual ~UserSink() = default;
    // Texts may hold "\r\n" or a lone "\r" as a line break; a window must show those as separate lines.
    virtual void showError(const std::u16string& text) = 0;
    virtual void showInformation(const std::u16string& text) = 0;
    // Yes / No / Cancel. A box closed without a button counts as Cancel: nothing is lost that way.
    virtual Answer askYesNoCancel(const std::u16string& text) = 0;
};

}  // namespace qb
