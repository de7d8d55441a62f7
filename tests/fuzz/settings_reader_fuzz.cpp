// Feeds arbitrary bytes to the settings file reader as setting.ksqc, then
// applies the result the way start-up does (a file that cannot be read gives
// the defaults).
//
// What must hold: no crash and no access outside a buffer (the sanitizers);
// only a file of exactly 66 bytes is read, and then taken byte for byte;
// the settings are applied only from a block with the leading magic, and
// then the window size, the show/hide flags and toggles and the column
// widths (within each column's limits) are the block's; otherwise the panel
// and the table stay exactly as the defaults left them; the font size in use
// is always within 6 to 24. The expected flags, limits and defaults are the
// literal tables of the tests' support, not the program's own.
#include "CConfigDialogComponent.h"
#include "CProgNameTable.h"
#include "ColumnTables.h"
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace
{
juce::ScopedJuceInitialiser_GUI* gJuce = nullptr;
CProgNameTable* gTable = nullptr;
CConfigDialogComponent* gPanel = nullptr;
juce::File gFile;

void check(bool condition)
{
    if (!condition)
        std::abort();
}

struct Applied
{
    int width, height;
    bool flags[kShowHideFlagCount];
    bool toggles[kShowHideFlagCount];
    int columnWidths[kColumnCount];
    double font;

    static Applied take()
    {
        Applied a{};
        a.width = gPanel->m_iWindowWidth;
        a.height = gPanel->m_iWindowHeight;
        std::vector<juce::ToggleButton*> toggles;
        for (auto* child : gPanel->getChildren())
            if (auto* t = dynamic_cast<juce::ToggleButton*>(child))
                toggles.push_back(t);
        check(toggles.size() == (size_t) kShowHideFlagCount);
        for (int k = 0; k < kShowHideFlagCount; ++k)
            a.flags[k] = gPanel->m_bColumnVisible[k];
        for (int i = 0; i < kShowHideFlagCount; ++i)
            a.toggles[i] = toggles[(size_t) i]->getToggleState();
        for (int id = 1; id <= kColumnCount; ++id)
            a.columnWidths[id - 1] = gTable->getHeader().getColumnWidth(id);
        a.font = gPanel->m_dFontSize;
        return a;
    }
    bool operator==(const Applied& o) const
    {
        return width == o.width && height == o.height && std::memcmp(flags, o.flags, sizeof(flags)) == 0
               && std::memcmp(toggles, o.toggles, sizeof(toggles)) == 0
               && std::memcmp(columnWidths, o.columnWidths, sizeof(columnWidths)) == 0 && font == o.font;
    }
};
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    gJuce = new juce::ScopedJuceInitialiser_GUI();
    gTable = new CProgNameTable();
    gPanel = new CConfigDialogComponent();
    gTable->setConfigDialogComponent(gPanel);
    gPanel->setProgNameTable(gTable);
    gFile = juce::File::getSpecialLocation(juce::File::tempDirectory)
                .getChildFile("ksqc_fuzz_" + juce::String((int) getpid()) + ".ksqc");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    gFile.deleteFile();
    if (size > 0 ? !gFile.replaceWithData(data, size) : !gFile.create())
        return 0;

    // The defaults in force, as before the file is read.
    gPanel->initConfigParam();
    gPanel->getConfigParam();
    const Applied defaults = Applied::take();

    const bool read = CConfigDialogComponent::readSettingsFile(gFile, gPanel->m_ucConfigData);
    gFile.deleteFile();
    check(read == (size == (size_t) kConfigDataSize));
    check(std::memcmp(gPanel->m_ucConfigData, read ? data : defaultSettingsBlock().data(), kConfigDataSize) == 0);
    if (!read)
        gPanel->initConfigParam();
    gPanel->getConfigParam();
    const Applied now = Applied::take();

    if (read && std::memcmp(data, "KSQC", 4) == 0)
    {
        check(now.width == data[6] * 10 + data[7] && now.height == data[8] * 10 + data[9]);
        for (int k = 0; k < 24; ++k)
            check(now.flags[k] == (data[kShowHideByte + kFlagColumn[k] - 3] != 0));
        for (const auto& c : kColumns)
            check(now.columnWidths[c.id - 1] == juce::jlimit(c.minimum, c.maximum, (int) data[kWidthByte + c.id - 1]));
    }
    else
        check(now == defaults);

    const double font = gPanel->getTargetFontSize();
    check(font >= 6.0 && font <= 24.0);
    // What would be written back is a block with the magic.
    gPanel->updateConfigParam();
    check(std::memcmp(gPanel->m_ucConfigData, "KSQC", 4) == 0);
    return 0;
}
