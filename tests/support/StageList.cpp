#include "StageList.h"
#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>

namespace
{
std::string trimmed(const std::string& s)
{
    const auto begin = s.find_first_not_of(" \t\r");
    if (begin == std::string::npos)
        return {};
    const auto end = s.find_last_not_of(" \t\r");
    return s.substr(begin, end - begin + 1);
}

std::vector<std::string> split(const std::string& s, char separator)
{
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(s);
    while (std::getline(in, part, separator))
        if (!part.empty())
            parts.push_back(part);
    return parts;
}

bool matchesAny(const std::vector<std::string>& patterns, const std::string& name)
{
    return std::any_of(patterns.begin(), patterns.end(),
                       [&](const std::string& p) { return matchesWildcard(p, name); });
}
} // namespace

SStageList parseStageList(const std::string& file, const std::string& text)
{
    SStageList list;
    list.file = file;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
    {
        const std::string entry = trimmed(line.substr(0, line.find('#')));
        if (entry.empty())
            continue;
        auto& into = entry.find_first_of("*?") == std::string::npos ? list.names : list.patterns;
        if (std::find(into.begin(), into.end(), entry) == into.end())
            into.push_back(entry);
    }
    return list;
}

bool readStageList(const std::string& path, SStageList& list, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
    {
        error = path + ": cannot be read";
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    list = parseStageList(path, text.str());
    return true;
}

bool matchesWildcard(const std::string& pattern, const std::string& name)
{
    // Iterative matching with backtracking to the last '*'.
    size_t p = 0, n = 0, star = std::string::npos, resume = 0;
    while (n < name.size())
    {
        if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n]))
            ++p, ++n;
        else if (p < pattern.size() && pattern[p] == '*')
            star = p++, resume = n;
        else if (star != std::string::npos)
            p = star + 1, n = ++resume;
        else
            return false;
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

bool matchesTestFilter(const std::string& filter, const std::string& name)
{
    const auto dash = filter.find('-');
    auto positive = split(filter.substr(0, dash), ':');
    // As in GoogleTest, only a negative part makes an empty positive one "*".
    if (positive.empty() && dash != std::string::npos)
        positive.push_back("*");
    const auto negative = dash == std::string::npos ? std::vector<std::string>() : split(filter.substr(dash + 1), ':');
    return matchesAny(positive, name) && !matchesAny(negative, name);
}

SStageChoice chooseStageTests(const std::vector<std::string>& all, const std::vector<SStageList>& lists, bool except,
                              const std::string& filter)
{
    SStageChoice choice;
    const std::set<std::string> tests(all.begin(), all.end());
    std::set<std::string> named;
    for (const auto& list : lists)
    {
        if (list.names.empty())
            choice.problems.push_back(list.file + " names no test");
        for (const auto& name : list.names)
        {
            if (tests.count(name) == 0)
                choice.problems.push_back(list.file + ": " + name
                                          + " is not a test of this binary (renamed, moved or removed?)");
            named.insert(name);
        }
        const std::set<std::string> own(list.names.begin(), list.names.end());
        for (const auto& test : all)
            if (own.count(test) == 0 && matchesAny(list.patterns, test))
                choice.problems.push_back(list.file + ": " + test + " matches a pattern of the list but is not named"
                                          + " in it; add it there");
    }
    for (const auto& test : all)
        if ((named.count(test) != 0) != except && matchesTestFilter(filter, test))
            choice.run.push_back(test);
    if (choice.run.empty())
        choice.problems.push_back("no test is left to run");
    return choice;
}
