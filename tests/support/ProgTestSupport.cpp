#include "ProgTestSupport.h"

std::array<int, kProgParamCount> progValues(int seed, int index)
{
    std::array<int, kProgParamCount> v{};
    juce::Random rng((juce::int64) seed * 100003 + index);
    for (auto& x : v)
        x = rng.nextInt(256);
    return v;
}

std::vector<unsigned char> progDump(const std::array<int, kProgParamCount>& values, int numberByte)
{
    std::vector<unsigned char> m(kProgDumpSize);
    std::copy(ucProgDumpHeader, ucProgDumpHeader + 8, m.begin());
    m[8] = (unsigned char) numberByte;
    CProgParamColumn::encodePackedData(values.data(), m.data() + 9);
    m[46] = 0xF7;
    return m;
}

std::vector<unsigned char> progBlock(int seed, int numberByte)
{
    std::vector<unsigned char> block;
    for (int p = 0; p < kUserProgCount; ++p)
    {
        const auto m = progDump(progValues(seed, p), numberByte >= 0 ? numberByte : p);
        block.insert(block.end(), m.begin(), m.end());
    }
    return block;
}

std::array<int, kProgParamCount> rowValues(CProgNameTable& table, int row)
{
    std::array<int, kProgParamCount> v{};
    for (int i = 0; i < kProgParamCount; ++i)
        v[(size_t) i] = table.getRecord(row)->getProgParam(i);
    return v;
}

std::vector<int> selectedRows(const CProgNameTable& table)
{
    std::vector<int> rows;
    const auto set = table.getSelectedRows();
    for (int i = 0; i < set.size(); ++i)
        rows.push_back(set[i]);
    return rows;
}

void setSelection(CProgNameTable& table, const std::vector<int>& rows, int anchor)
{
    juce::SparseSet<int> set;
    for (int r : rows)
        set.addRange({r, r + 1});
    table.setSelectedRows(set, juce::dontSendNotification);
    if (anchor >= 0)
    {
        // Selecting a row that is already selected keeps the old anchor.
        table.deselectRow(anchor);
        table.selectRow(anchor, true, false);
    }
}

std::unique_ptr<CProgNameTable> makeProgTable(const std::vector<juce::String>& libraryNames)
{
    auto table = std::make_unique<CProgNameTable>();
    table->setSize(800, 600);
    table->initialize();
    const auto block = progBlock(1);
    std::copy(block.begin(), block.end(), table->m_ucReadProgData);
    table->UpdateUserProg();
    for (size_t f = 0; f < libraryNames.size(); ++f)
    {
        auto lib = progBlock(2 + (int) f);
        const int n = table->getNumRows();
        for (int k = 0; k < kUserProgCount; ++k)
        {
            table->Add(lib.data() + k * kProgDumpSize + 9);
            table->setFileName(n + k, libraryNames[f]);
            table->setOrigProgNo(n + k, k);
        }
    }
    return table;
}
