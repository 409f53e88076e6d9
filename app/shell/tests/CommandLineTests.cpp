#include "app/base/CommandLine.h"

#include <gtest/gtest.h>

namespace {

struct Parsed
{
    CommandLineSwitches switches;
    std::vector<std::string> errors;
    bool ok;
};

Parsed parse(const std::vector<std::string>& arguments)
{
    Parsed p;
    p.ok = ParseCommandLine(RawCommandLineFromArguments(arguments), p.switches,
                            [&](const std::string& m) { p.errors.push_back(m); });
    return p;
}

} // namespace

TEST(CommandLine, TokeniserFollowsTheQuotes)
{
    EXPECT_TRUE(TokeniseCommandLine("").empty());
    EXPECT_TRUE(TokeniseCommandLine("-s -r").empty()) << "nothing without quotes";
    EXPECT_EQ(TokeniseCommandLine("ignored \"-s\" \"-r\""), (std::vector<std::string>{"-s", "-r"}));
    // An empty token ends the list; so does a missing closing quote.
    EXPECT_EQ(TokeniseCommandLine("\"-s\" \"\" \"-r\""), (std::vector<std::string>{"-s"}));
    EXPECT_EQ(TokeniseCommandLine("\"-s\" \"-r"), (std::vector<std::string>{"-s"}));
    // Blanks inside a quoted argument stay.
    EXPECT_EQ(TokeniseCommandLine("\"-i/tmp/a b.ini\""), (std::vector<std::string>{"-i/tmp/a b.ini"}));
}

TEST(CommandLine, UnattendedSwitchesAreApplied)
{
    const Parsed p = parse({"-s", "-r", "-i/path/run.ini", "-o/path/out", "-n1"});
    EXPECT_TRUE(p.ok);
    EXPECT_TRUE(p.errors.empty());
    EXPECT_TRUE(p.switches.silentMode);
    EXPECT_TRUE(p.switches.writeResultFile);
    EXPECT_EQ(p.switches.templateFile, "/path/run.ini");
    EXPECT_EQ(p.switches.outputFolder, "/path/out");
    EXPECT_EQ(p.switches.inputCount, 1);

    const Parsed upper = parse({"-S", "-R", "-I/x.ini", "-O/out", "-N2"});
    EXPECT_TRUE(upper.ok);
    EXPECT_TRUE(upper.switches.silentMode);
    EXPECT_TRUE(upper.switches.writeResultFile);
    EXPECT_EQ(upper.switches.inputCount, 2);
}

TEST(CommandLine, EmptyLineStartsNormally)
{
    const Parsed p = parse({});
    EXPECT_TRUE(p.ok);
    EXPECT_FALSE(p.switches.silentMode);
    EXPECT_EQ(p.switches.inputCount, -1);
    EXPECT_FALSE(p.switches.isOutputFolderSet());
    EXPECT_FALSE(p.switches.isTemplateFileSet());
}

TEST(CommandLine, BadSwitchesReportEachErrorAndGoOn)
{
    Parsed p = parse({"-n3"});
    EXPECT_FALSE(p.ok);
    EXPECT_EQ(p.switches.inputCount, 2);
    EXPECT_EQ(p.errors, (std::vector<std::string>{kBadInputCountMessage}));

    p = parse({"-x", "-xyz", "abc", "-sx", "-s"});
    EXPECT_FALSE(p.ok);
    EXPECT_EQ(p.errors.size(), 3u) << "-x, -xyz and -sx are unknown; abc is ignored";
    EXPECT_TRUE(p.switches.silentMode) << "parsing goes on after an error";

    p = parse({"-n0", "-q"});
    EXPECT_EQ(p.errors, (std::vector<std::string>{kBadInputCountMessage, kUnknownParameterMessage}));
}
