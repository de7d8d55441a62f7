#pragma once
// The lists beside the tests (tests/*-tests.txt) from which the stages pick
// the tests they run, so that a stage fails instead of running fewer tests
// than it names: a renamed or moved test, or a suite renamed away from a
// pattern, shows as a failure, not as a green run of nothing.
//
// A list names each test as Suite.Name, one a line; '#' starts a comment. A
// line with '*' or '?' is a pattern (the wildcards of --gtest_filter): every
// test it matches must be named in the list as well, so that a new test of a
// suite the stage takes cannot be left out unnoticed.
#include <string>
#include <vector>

struct SStageList
{
    std::string file;
    std::vector<std::string> names;
    std::vector<std::string> patterns;
};

// The entries of a list's text; file is the name its messages use.
SStageList parseStageList(const std::string& file, const std::string& text);

// Reads a list from disk; false (and a message in error) when it cannot.
bool readStageList(const std::string& path, SStageList& list, std::string& error);

// '*' any run of characters, '?' any one character.
bool matchesWildcard(const std::string& pattern, const std::string& name);

// --gtest_filter's rule: the name matches one of the ':'-separated patterns
// before the first '-' (all when there are none but there is a '-') and
// none of those after it.
bool matchesTestFilter(const std::string& filter, const std::string& name);

struct SStageChoice
{
    std::vector<std::string> run;      // the tests to run, in the binary's order
    std::vector<std::string> problems; // each fails the run
};

// The tests of a stage among all tests of this binary (Suite.Name, in their
// order): those the lists name (except false) or all others (except true),
// narrowed by a --gtest_filter given by hand ("*" when none). Every name of
// every list must be a test of the binary and every test a pattern matches
// must be named, in both cases: a test renamed out of a list that a stage
// leaves out would otherwise run in the wrong stage.
SStageChoice chooseStageTests(const std::vector<std::string>& all, const std::vector<SStageList>& lists, bool except,
                              const std::string& filter);
