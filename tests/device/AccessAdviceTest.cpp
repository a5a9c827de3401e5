// The permission advice the program gives, the README's, the help page's and the rule file's own are one: the
// same commands, and the help shows the rule the file holds.
#include "device/AccessAdvice.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace qb {
namespace {

std::string Read(const std::string& relative) {
    std::ifstream in(std::string(QB_SOURCE_DIR) + "/" + relative, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    EXPECT_FALSE(text.str().empty()) << relative;
    return text.str();
}

// The page's text as a reader sees it: tags gone, entities decoded.
std::string PlainHtml(const std::string& html) {
    std::string text = std::regex_replace(html, std::regex("<[^>]*>"), "");
    for (const auto& [entity, character] : std::vector<std::pair<std::string, std::string>>{
             {"&quot;", "\""}, {"&lt;", "<"}, {"&gt;", ">"}, {"&nbsp;", " "}, {"&amp;", "&"}}) {
        for (std::size_t at = text.find(entity); at != std::string::npos; at = text.find(entity, at + 1))
            text.replace(at, entity.size(), character);
    }
    return text;
}

TEST(AccessAdvice, TheMessageReadmeHelpAndRuleFileCarryTheSameCommands) {
    std::vector<std::string> commands;
    std::istringstream lines([] {
        const std::u16string advice = NoAccessAdvice();
        return std::string(advice.begin(), advice.end());  // ASCII
    }());
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind("sudo ", 0) == 0) commands.push_back(line);
    }
#if !defined(__linux__)
    EXPECT_TRUE(commands.empty());
    GTEST_SKIP() << "the commands are Linux's";
#endif
    ASSERT_EQ(commands.size(), 4u);  // install, reload, trigger, join the group
    const std::string readme = Read("README.md");
    const std::string help = PlainHtml(Read("help/troubleshooting.html"));
    const std::string rules = Read(std::string("packaging/") + kUdevRuleFile);
    for (const std::string& command : commands) {
        EXPECT_NE(readme.find("\n" + command + "\n"), std::string::npos) << "README: " << command;
        EXPECT_NE(help.find("\n" + command + "\n"), std::string::npos) << "help: " << command;
        EXPECT_NE(rules.find("#   " + command + "\n"), std::string::npos) << "rule file: " << command;
    }
    const std::size_t ruleAt = rules.find("\nSUBSYSTEM==");
    ASSERT_NE(ruleAt, std::string::npos);
    const std::string rule = rules.substr(ruleAt + 1, rules.find('\n', ruleAt + 1) - ruleAt - 1);
    EXPECT_NE(help.find(rule), std::string::npos) << "help shows " << rule;
}

}  // namespace
}  // namespace qb
