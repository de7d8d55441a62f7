#include "CProgNameTable.h"
#include "CDialogUtil.h"
#include "CFileUtil.h"
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

    // Only a regular file of exactly the right length, read whole, passes:
    // a missing, unreadable or special file, or one that shrank or grew while
    // it was read, counts as the wrong length. Only a file that passes
    // reaches the table's incoming block.
    std::vector<unsigned char> block((size_t) kProgDumpBlockSize);
    if (!CFileUtil::readWholeFile(file, block.data(), block.size()))
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
