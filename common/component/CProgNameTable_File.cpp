#include "CProgNameTable.h"
#include "CDialogUtil.h"
#include "KsqxTexts.h"

namespace
{
void showOpenError(const juce::String& message)
{
    CDialogUtil::showMessageBox(juce::MessageBoxIconType::InfoIcon, "File Open Error : ", message, "ok");
}
} // namespace

void CProgNameTable::openWithFile(juce::File file, bool selectFirstRow)
{
    // A folder is no library file, whatever its name says.
    if (file.getFileExtension() != kLibraryExtension || file.isDirectory())
        return;

    // The length comes from the file itself: a missing file has none.
    const juce::int64 length = file.existsAsFile() ? file.getSize() : 0;
    if (length != kProgDumpBlockSize)
    {
        showOpenError("Illegal File Size!");
        return;
    }

    // Read into a block of its own, one byte more than a library file holds:
    // a file that cannot be opened, shrank or grew since its length was taken
    // delivers other than 4700 bytes and counts as the wrong length. Only a
    // file that passes reaches the table's incoming block.
    std::vector<unsigned char> block((size_t) kProgDumpBlockSize + 1);
    int delivered = 0;
    {
        juce::FileInputStream stream(file);
        if (stream.openedOk())
            delivered = stream.read(block.data(), (int) block.size());
    }
    if (delivered != kProgDumpBlockSize)
    {
        showOpenError("Illegal File Size!");
        return;
    }
    if (std::memcmp(block.data(), ucProgDumpHeader, sizeof(ucProgDumpHeader)) != 0)
    {
        showOpenError("Illegal File Format!");
        return;
    }
    std::memcpy(m_ucReadProgData, block.data(), kProgDumpBlockSize);

    const int n = getNumRows();
    const juce::String name = file.getFileNameWithoutExtension();
    for (int k = 0; k < kUserProgCount; ++k)
    {
        Add(m_ucReadProgData + k * kProgDumpSize + 9);
        setFileName(n + k, name);
        // A program's number is its position in the file, never its number byte.
        setOrigProgNo(n + k, k);
    }
    if (selectFirstRow)
        selectRow(n, false, true);
}
