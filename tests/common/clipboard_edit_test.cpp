#include "CProgNameTable.h"
#include "ProgTestSupport.h"
#include <gtest/gtest.h>
#include <algorithm>

namespace
{
// What a row holds, compared field by field.
struct Rec
{
    std::array<int, kProgParamCount> values{};
    int origNo = kNoOrigProgNo;
    juce::String name;
    bool operator==(const Rec& o) const { return values == o.values && origNo == o.origNo && name == o.name; }
};

Rec initRec()
{
    Rec r;
    CProgParamColumn::decodePackedData(ucInitProgData, r.values.data());
    return r;
}

Rec recOf(const CProgParamColumn& c)
{
    Rec r;
    for (int i = 0; i < kProgParamCount; ++i)
        r.values[(size_t) i] = c.getProgParam(i);
    r.origNo = c.m_iOrigProgNo;
    r.name = c.getFileName();
    return r;
}

bool flagsMatchValue0(const CProgParamColumn& c)
{
    for (int k = 0; k < 8; ++k)
        if (c.m_bFxOnOff[k] != (((c.getProgParam(0) >> k) & 1) != 0))
            return false;
    return true;
}

// A table of 100 distinct user programs and two library files, "LibA"
// (rows 100-199) and "LibB" (rows 200-299).
std::unique_ptr<CProgNameTable> makeTable() { return makeProgTable({"LibA", "LibB"}); }

std::vector<Rec> rowsOf(CProgNameTable& t)
{
    std::vector<Rec> v;
    for (int r = 0; r < t.getNumRows(); ++r)
        v.push_back(recOf(*t.getRecord(r)));
    return v;
}

std::vector<Rec> clipboardOf(CProgNameTable& t)
{
    std::vector<Rec> v;
    for (auto* c : t.m_aClipboard)
        v.push_back(recOf(*c));
    return v;
}

std::vector<int> span(int a, int b)
{
    std::vector<int> v;
    for (int i = a; i <= b; ++i)
        v.push_back(i);
    return v;
}
std::vector<int> cat(std::initializer_list<std::vector<int>> parts)
{
    std::vector<int> v;
    for (const auto& p : parts)
        v.insert(v.end(), p.begin(), p.end());
    return v;
}
const std::vector<int> kInit1{-1}, kInit2{-1, -1};

// Rows described by original row numbers; -1 stands for the initial program.
std::vector<Rec> layout(const std::vector<Rec>& original, const std::vector<int>& from)
{
    std::vector<Rec> v;
    for (int i : from)
        v.push_back(i < 0 ? initRec() : original[(size_t) i]);
    return v;
}

enum class Op { None, Copy, Cut, Clear, Paste, Insert };

void run(CProgNameTable& t, Op op)
{
    switch (op)
    {
        case Op::Copy: t.Copy(); break;
        case Op::Cut: t.Cut(); break;
        case Op::Clear: t.Clear(); break;
        case Op::Paste: t.Paste(); break;
        case Op::Insert: t.Insert(); break;
        case Op::None: break;
    }
}
} // namespace

TEST(ClipboardEdit, EditCases)
{
    struct Case
    {
        const char* name;
        std::vector<int> sel;       // selection for the first operation
        int anchor;
        Op first;
        std::vector<int> targetSel; // selection for the second operation
        int targetAnchor;
        Op second;
        std::vector<int> rows;      // all 300 rows afterwards, by original row
        std::vector<int> clip;
        std::vector<int> selAfter;
        int anchorAfter;
        int reselect;               // m_iReselectRow afterwards
    };
    const auto libs = span(100, 299);
    const Case cases[] = {
        {"cut 10 and 20", {10, 20}, 20, Op::Cut, {}, -1, Op::None,
         cat({span(0, 9), span(11, 19), span(21, 99), kInit2, libs}), {10, 20}, {10}, 10, 19},
        {"cut user 5 with library 150", {5, 150}, 5, Op::Cut, {}, -1, Op::None,
         cat({span(0, 4), span(6, 99), kInit1, libs}), {5, 150}, {5}, 5, 5},
        {"cut of library rows only", {120, 130}, 130, Op::Cut, {}, -1, Op::None,
         span(0, 299), {120, 130}, {130}, 130, 0},
        {"cut of the last user row", {99}, 99, Op::Cut, {}, -1, Op::None,
         cat({span(0, 98), kInit1, libs}), {99}, {99}, 99, 99},
        {"cut with nothing selected", {}, -1, Op::Cut, {}, -1, Op::None,
         span(0, 299), {}, {}, -1, 0},
        {"clear 0 and 120 in place", {0, 120}, 0, Op::Clear, {}, -1, Op::None,
         cat({kInit1, span(1, 119), kInit1, span(121, 299)}), {0, 120}, {0, 120}, 0, 0},
        {"paste 5 at 97", span(20, 24), 24, Op::Copy, {97}, 97, Op::Paste,
         cat({span(0, 96), {20, 21, 22}, libs}), span(20, 24), {97}, 97, 0},
        {"paste library row at 0", {199}, 199, Op::Copy, {0, 150}, 0, Op::Paste,
         cat({{199}, span(1, 299)}), {199}, {0, 150}, 0, 0},
        {"insert 3 library rows at 10", {150, 151, 152}, 150, Op::Copy, {10}, 10, Op::Insert,
         cat({span(0, 9), {150, 151, 152}, span(10, 96), libs}), {150, 151, 152}, {10}, 10, 0},
        {"insert 5 at 97", span(30, 34), 30, Op::Copy, {97}, 97, Op::Insert,
         cat({span(0, 96), {30, 31, 32}, libs}), span(30, 34), {97}, 97, 0},
        {"insert at a library anchor", {3}, 3, Op::Copy, {150}, 150, Op::Insert,
         span(0, 299), {3}, {150}, 150, 0},
        {"empty clipboard pasted", {}, -1, Op::Copy, {40}, 40, Op::Paste, span(0, 299), {}, {40}, 40, 0},
        {"empty clipboard inserted", {}, -1, Op::Copy, {40}, 40, Op::Insert, span(0, 299), {}, {40}, 40, 0},
        // No target row: the table stays exactly as it is.
        {"paste with no row selected", {1, 2, 3}, 3, Op::Copy, {}, -1, Op::Paste,
         span(0, 299), {1, 2, 3}, {}, -1, 0},
        {"insert with no row selected", {1, 2, 3}, 3, Op::Copy, {}, -1, Op::Insert,
         span(0, 299), {1, 2, 3}, {}, -1, 0},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        auto table = makeTable();
        const auto original = rowsOf(*table);
        setSelection(*table, c.sel, c.anchor);
        run(*table, c.first);
        if (c.second != Op::None)
        {
            setSelection(*table, c.targetSel, c.targetAnchor);
            run(*table, c.second);
        }

        ASSERT_EQ(table->getNumRows(), 300);
        const auto expected = layout(original, c.rows);
        const auto actual = rowsOf(*table);
        for (size_t r = 0; r < expected.size(); ++r)
            EXPECT_TRUE(actual[r] == expected[r]) << "row " << r;
        EXPECT_TRUE(clipboardOf(*table) == layout(original, c.clip));
        EXPECT_EQ(selectedRows(*table), c.selAfter);
        EXPECT_EQ(table->getLastRowSelected(), c.anchorAfter);
        EXPECT_EQ(table->m_iReselectRow, c.reselect);
        EXPECT_TRUE(table->m_bInsertEnable);
        for (int r = 0; r < table->getNumRows(); ++r)
            ASSERT_TRUE(flagsMatchValue0(*table->getRecord(r))) << "row " << r;
    }
}

TEST(ClipboardEdit, CheckRangeAndEnableTestsFollowTheAnchor)
{
    struct Case
    {
        int anchor, clipCount;
        bool fits, enabled;
    };
    const Case cases[] = {
        {0, 100, true, true},  {1, 100, false, true}, {99, 1, true, true},   {99, 2, false, true},
        {0, 101, false, true}, {-1, 101, false, true}, {-1, 100, true, true}, {100, 0, true, false},
        {100, 1, false, false}, {150, 0, false, false},
    };
    auto table = makeTable();
    table->m_bCutEnable = true; // set by painting a selected row
    for (const auto& c : cases)
    {
        SCOPED_TRACE(::testing::Message() << "anchor " << c.anchor << " clipboard " << c.clipCount);
        setSelection(*table, span(0, c.clipCount - 1), -1);
        table->Copy();
        ASSERT_EQ(table->m_aClipboard.size(), c.clipCount);
        setSelection(*table, c.anchor < 0 ? std::vector<int>{} : std::vector<int>{c.anchor}, c.anchor);
        EXPECT_EQ(table->CheckRange(), c.fits);
        EXPECT_EQ(table->GetCutEnable(), c.enabled);
        EXPECT_EQ(table->GetInsertEnable(), c.enabled);
    }
}

namespace
{
// The edits in plain form, on a list of what the rows hold.
struct Reference
{
    std::vector<Rec> rows, clip;

    void copy(const std::vector<int>& sel)
    {
        clip.clear();
        for (int r : sel)
            clip.push_back(rows[(size_t) r]);
    }
    void cut(const std::vector<int>& sel)
    {
        copy(sel);
        int removed = 0;
        for (auto it = sel.rbegin(); it != sel.rend(); ++it)
            if (*it < kUserProgCount)
            {
                rows.erase(rows.begin() + *it);
                ++removed;
            }
        rows.insert(rows.begin() + (kUserProgCount - removed), (size_t) removed, initRec());
    }
    void clear(const std::vector<int>& sel)
    {
        copy(sel);
        for (int r : sel)
            rows[(size_t) r] = initRec();
    }
    int fitting(int anchor) const { return anchor < 0 ? 0 : std::clamp(kUserProgCount - anchor, 0, (int) clip.size()); }
    void paste(int anchor)
    {
        for (int k = 0; k < fitting(anchor); ++k)
            rows[(size_t) (anchor + k)] = clip[(size_t) k];
    }
    void insert(int anchor)
    {
        const int m = fitting(anchor);
        rows.insert(rows.begin() + std::max(anchor, 0), clip.begin(), clip.begin() + m);
        rows.erase(rows.begin() + kUserProgCount, rows.begin() + kUserProgCount + m);
    }
};
} // namespace

TEST(ClipboardEdit, RandomEditsMatchThePlainReference)
{
    for (int seed : {1, 2, 3, 4, 5})
    {
        SCOPED_TRACE(::testing::Message() << "seed " << seed);
        juce::Random rng(seed);
        auto table = makeTable();
        Reference ref{rowsOf(*table), {}};
        const auto libraryBefore = std::vector<Rec>(ref.rows.begin() + kUserProgCount, ref.rows.end());
        std::vector<bool> libraryCleared(200, false);
        const int n = table->getNumRows();

        for (int step = 0; step < 400; ++step)
        {
            // A new selection now and then: a few rows, a block, or none.
            if (rng.nextInt(3) == 0)
            {
                std::vector<int> sel;
                const int kind = rng.nextInt(4);
                if (kind == 1)
                {
                    const int a = rng.nextInt(n), len = 1 + rng.nextInt(12);
                    sel = span(a, std::min(n - 1, a + len - 1));
                }
                else if (kind >= 2)
                    for (int k = 1 + rng.nextInt(4); k > 0; --k)
                        sel.push_back(rng.nextBool() ? rng.nextInt(kUserProgCount) : rng.nextInt(n));
                std::sort(sel.begin(), sel.end());
                sel.erase(std::unique(sel.begin(), sel.end()), sel.end());
                const int anchor = sel.empty() ? -1 : sel[(size_t) rng.nextInt((int) sel.size())];
                setSelection(*table, sel, anchor);
            }
            const auto sel = selectedRows(*table);
            const int anchor = table->getLastRowSelected();
            const Op op = (Op) (1 + rng.nextInt(5));
            run(*table, op);
            switch (op)
            {
                case Op::Copy: ref.copy(sel); break;
                case Op::Cut: ref.cut(sel); break;
                case Op::Clear:
                    ref.clear(sel);
                    for (int r : sel)
                        if (r >= kUserProgCount)
                            libraryCleared[(size_t) (r - kUserProgCount)] = true;
                    break;
                case Op::Paste: ref.paste(anchor); break;
                case Op::Insert: ref.insert(anchor); break;
                case Op::None: break;
            }

            SCOPED_TRACE(::testing::Message() << "step " << step << " op " << (int) op << " anchor " << anchor);
            ASSERT_EQ(table->getNumRows(), n);
            ASSERT_TRUE(rowsOf(*table) == ref.rows);
            ASSERT_TRUE(clipboardOf(*table) == ref.clip);
            for (int r = kUserProgCount; r < n; ++r)
                if (!libraryCleared[(size_t) (r - kUserProgCount)])
                    ASSERT_TRUE(ref.rows[(size_t) r] == libraryBefore[(size_t) (r - kUserProgCount)]);
            if (op == Op::Cut)
            {
                std::vector<int> user;
                std::copy_if(sel.begin(), sel.end(), std::back_inserter(user), [](int r) { return r < kUserProgCount; });
                const int expected = user.empty() ? anchor : user.front();
                ASSERT_EQ(selectedRows(*table), expected < 0 ? std::vector<int>{} : std::vector<int>{expected});
            }
            else
                ASSERT_EQ(selectedRows(*table), sel);
            for (int r = 0; r < n; ++r)
                ASSERT_TRUE(flagsMatchValue0(*table->getRecord(r)));
        }
    }
}
