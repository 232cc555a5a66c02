#include "CommandLine.h"

#include <gtest/gtest.h>

namespace {

using Args = std::vector<std::string>;

TEST(CommandLine, SplitsAtSpacesOnly) {
    const std::pair<std::string, Args> cases[] = {
        {"", {}},
        {"   ", {}},
        {"-once", {"-once"}},
        {"    -once", {"-once"}},
        {"-once extra", {"-once", "extra"}},
        {"a  b   c ", {"a", "b", "c"}},
        {"\"C:/My Feeds\" x", {"\"C:/My", "Feeds\"", "x"}},
        {"tab\there", {"tab\there"}},
    };
    for (const auto& [text, args] : cases) EXPECT_EQ(SplitCommandLine(text), args) << text;
}

TEST(CommandLine, OnceFlagNeedsTheExactWholeArgument) {
    const std::pair<std::string, bool> cases[] = {
        {"-once", true},   {"x -once", true},  {"   -once  y", true}, {"-ONCE", false},
        {"--once", false}, {"-oncex", false},  {"once", false},      {"", false},
    };
    for (const auto& [text, once] : cases) EXPECT_EQ(HasOnceFlag(SplitCommandLine(text)), once) << text;
}

}  // namespace
