// How the stages choose their tests from the lists beside them: a fault here
// would let every stage pass on fewer tests than it names.
#include "StageList.h"
#include <gtest/gtest.h>

namespace
{
const std::vector<std::string> kAll = {
    "Link.Opens",   "Link.Closes",  "LinkClosing.Waits", "Panel.Draws", "Panel.Keys", "Look.Titles",
};

bool hasProblemWith(const SStageChoice& c, const std::string& text)
{
    for (const auto& p : c.problems)
        if (p.find(text) != std::string::npos)
            return true;
    return false;
}
} // namespace

TEST(StageLists, EntriesAreNamesOrPatternsWithCommentsAndBlanksLeftOut)
{
    const auto list = parseStageList("l.txt", "# a comment\n\n  Link.Opens  \r\nLink*   # the suite\n"
                                              "Link.Opens\nPanel.?eys\n");
    EXPECT_EQ(list.names, (std::vector<std::string> {"Link.Opens"}));
    EXPECT_EQ(list.patterns, (std::vector<std::string> {"Link*", "Panel.?eys"}));
}

TEST(StageLists, WildcardsAndFiltersMatchAsGoogleTestsDo)
{
    struct Case
    {
        const char* pattern;
        const char* name;
        bool matches;
    };
    const Case wildcards[] = {
        {"Link.Opens", "Link.Opens", true}, {"Link.Opens", "Link.Open", false}, {"Link.Open", "Link.Opens", false},
        {"Link*", "LinkClosing.Waits", true}, {"Link.*", "LinkClosing.Waits", false}, {"*", "", true},
        {"L?nk.*", "Link.Opens", true},     {"*.Closes", "Link.Closes", true}, {"*s*s", "Link.Closes", true},
        {"*s*s", "Link.Closed", false},      {"", "Link.Opens", false},
    };
    for (const auto& c : wildcards)
        EXPECT_EQ(matchesWildcard(c.pattern, c.name), c.matches) << c.pattern << " " << c.name;

    const Case filters[] = {
        {"*", "Link.Opens", true},          {"", "Link.Opens", false},
        {"Panel.*:Link.Opens", "Link.Opens", true}, {"Panel.*:Link.Opens", "Link.Closes", false},
        {"-Link.*", "Link.Opens", false},    {"-Link.*", "Panel.Draws", true},
        {"Link*-LinkClosing.*", "LinkClosing.Waits", false}, {"Link*-LinkClosing.*", "Link.Closes", true},
    };
    for (const auto& c : filters)
        EXPECT_EQ(matchesTestFilter(c.pattern, c.name), c.matches) << c.pattern << " " << c.name;
}

TEST(StageLists, AStageRunsExactlyItsNamesAndFailsOnEveryNameOrPatternThatNoLongerFits)
{
    const auto ok = parseStageList("link.txt", "Link*\nLink.Opens\nLink.Closes\nLinkClosing.Waits\n");
    auto choice = chooseStageTests(kAll, {ok}, false, "*");
    EXPECT_EQ(choice.run, (std::vector<std::string> {"Link.Opens", "Link.Closes", "LinkClosing.Waits"}));
    EXPECT_TRUE(choice.problems.empty());

    // A test renamed, and a suite renamed away from the pattern.
    const auto renamed = parseStageList("link.txt", "Link*\nLink.Opens\nLink.Closes\nLinkClosing.Waits\nLink.Gone\n"
                                                    "Old.Name\n");
    choice = chooseStageTests(kAll, {renamed}, false, "*");
    EXPECT_EQ(choice.run.size(), 3u);
    EXPECT_EQ(choice.problems.size(), 2u);
    EXPECT_TRUE(hasProblemWith(choice, "link.txt: Link.Gone is not a test"));
    EXPECT_TRUE(hasProblemWith(choice, "link.txt: Old.Name is not a test"));

    // A new test of a suite the pattern takes, not yet named.
    const auto unnamed = parseStageList("link.txt", "Link*\nLink.Opens\nLink.Closes\n");
    choice = chooseStageTests(kAll, {unnamed}, false, "*");
    EXPECT_EQ(choice.problems.size(), 1u);
    EXPECT_TRUE(hasProblemWith(choice, "link.txt: LinkClosing.Waits matches a pattern"));
    EXPECT_EQ(choice.run, (std::vector<std::string> {"Link.Opens", "Link.Closes"}));

    // A list of patterns alone, and a filter that leaves nothing.
    choice = chooseStageTests(kAll, {parseStageList("p.txt", "Nothing*\n")}, false, "*");
    EXPECT_TRUE(hasProblemWith(choice, "p.txt names no test"));
    EXPECT_TRUE(hasProblemWith(choice, "no test is left to run"));
    choice = chooseStageTests(kAll, {ok}, false, "Panel.*");
    EXPECT_TRUE(hasProblemWith(choice, "no test is left to run"));
}

TEST(StageLists, TheRestLeavesOutEveryListedTestAndAFilterNarrowsEitherChoice)
{
    const auto link = parseStageList("link.txt", "Link.Opens\nLink.Closes\nLinkClosing.Waits\n");
    const auto look = parseStageList("look.txt", "Look.*\nLook.Titles\n");
    auto choice = chooseStageTests(kAll, {link, look}, true, "*");
    EXPECT_EQ(choice.run, (std::vector<std::string> {"Panel.Draws", "Panel.Keys"}));
    EXPECT_TRUE(choice.problems.empty());

    // A listed test renamed would otherwise run here instead of in its stage.
    choice = chooseStageTests(kAll, {parseStageList("look.txt", "Look.Titles\nLook.Old\n")}, true, "*");
    EXPECT_TRUE(hasProblemWith(choice, "look.txt: Look.Old is not a test"));

    choice = chooseStageTests(kAll, {link}, false, "*Closes:LinkClosing.*");
    EXPECT_EQ(choice.run, (std::vector<std::string> {"Link.Closes", "LinkClosing.Waits"}));
    choice = chooseStageTests(kAll, {link, look}, true, "-Panel.Keys");
    EXPECT_EQ(choice.run, (std::vector<std::string> {"Panel.Draws"}));
    EXPECT_TRUE(choice.problems.empty());
}
