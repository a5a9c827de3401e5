// What both fuzz targets share: a check that aborts with its place, and a sink that records the errors shown.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "config/UserSink.h"

#define FUZZ_CHECK(condition)                                                                  \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (0)

namespace qb::fuzz {

class RecordingSink : public UserSink {
public:
    void showError(const std::u16string& text) override { errors.push_back(text); }
    void showInformation(const std::u16string&) override {}
    Answer askYesNoCancel(const std::u16string&) override { return Answer::No; }
    std::vector<std::u16string> errors;
};

}  // namespace qb::fuzz
