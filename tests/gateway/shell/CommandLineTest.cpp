#include "CommandLine.h"

#include <gtest/gtest.h>

#include <filesystem>

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

namespace {

TEST(ProgramArgumentsTest, DirIsTakenOutWholeAndTheRestJoined) {
    ProgramArguments a = ParseProgramArguments({"-once", "--dir", "/srv/my feeds", "x"});
    EXPECT_EQ(a.error, "");
    EXPECT_EQ(a.dir, std::optional<std::string>("/srv/my feeds"));
    EXPECT_EQ(a.commandLine, "-once x");

    a = ParseProgramArguments({"--dir=/srv/feeds/"});
    EXPECT_EQ(a.dir, std::optional<std::string>("/srv/feeds"));
    EXPECT_EQ(a.commandLine, "");

    a = ParseProgramArguments({"-once"});
    EXPECT_FALSE(a.dir.has_value());
    EXPECT_EQ(a.commandLine, "-once");
}

TEST(ProgramArgumentsTest, RelativeDirIsMadeAbsolute) {
    const ProgramArguments a = ParseProgramArguments({"--dir", "feeds"});
    ASSERT_TRUE(a.dir.has_value());
    EXPECT_EQ(*a.dir, (std::filesystem::current_path() / "feeds").string());
}

TEST(ProgramArgumentsTest, DirWithoutAValueIsAnError) {
    EXPECT_EQ(ParseProgramArguments({"--dir"}).error, "--dir needs a directory");
    EXPECT_EQ(ParseProgramArguments({"--dir="}).error, "--dir needs a directory");
    EXPECT_EQ(ParseProgramArguments({"--dir", ""}).error, "--dir needs a directory");
}

}  // namespace

namespace {

TEST(ProgramArgumentsTest, StatusIsTakenOutAsAFlag) {
    ProgramArguments a = ParseProgramArguments({"--status", "--dir", "/srv/feeds"});
    EXPECT_TRUE(a.status);
    EXPECT_EQ(a.dir, std::optional<std::string>("/srv/feeds"));
    EXPECT_EQ(a.commandLine, "");
    a = ParseProgramArguments({"-once", "-status"});
    EXPECT_FALSE(a.status);
    EXPECT_EQ(a.commandLine, "-once -status");
}

}  // namespace
