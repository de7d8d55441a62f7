// Feeds arbitrary bytes to the library file reader as a .ksqx file: the
// table either stays as it was or gains exactly the file's 100 programs.
#include "CDialogUtil.h"
#include "CProgNameTable.h"
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace
{
juce::ScopedJuceInitialiser_GUI* gJuce = nullptr;
CProgNameTable* gTable = nullptr;
juce::File gFile;
int gBoxes = 0;
unsigned char gUserArea[kProgDumpBlockSize];
// A library file begins with the header of a program dump message.
const unsigned char kDumpHeader[8] = {0xF0, 0x42, 0x30, 0x00, 0x01, 0x10, 0x4C, 0x20};

void snapshotUserArea(unsigned char* out)
{
    for (int r = 0; r < kUserProgCount; ++r)
        gTable->CopyProgForWrite(r, out + r * kProgDumpSize);
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    gJuce = new juce::ScopedJuceInitialiser_GUI();
    CDialogUtil::setBoxHandler([](const CDialogUtil::Box&) {
        ++gBoxes;
        return true;
    });
    gTable = new CProgNameTable();
    gTable->initialize();
    for (int r = 0; r < kUserProgCount; ++r)
        for (int i = 0; i < kProgParamCount; ++i)
            gTable->getRecord(r)->setProgParam(i, (r * 7 + i * 13) & 0xFF);
    snapshotUserArea(gUserArea);
    gFile = juce::File::getSpecialLocation(juce::File::tempDirectory)
                .getChildFile("ksqx_fuzz_" + juce::String((int) getpid()) + ".ksqx");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!gFile.replaceWithData(data, size) && size > 0)
        return 0;
    if (size == 0)
        gFile.create();
    gBoxes = 0;
    gTable->openWithFile(gFile, true);
    gFile.deleteFile();

    const int rows = gTable->getNumRows();
    if (rows != kUserProgCount && rows != 2 * kUserProgCount)
        std::abort();
    const bool accepted = rows == 2 * kUserProgCount;
    // Accepted means a 4700-byte file with the dump header, and no box.
    if (accepted != (size == (size_t) kProgDumpBlockSize && std::memcmp(data, kDumpHeader, 8) == 0))
        std::abort();
    if (accepted == (gBoxes != 0) || gBoxes > 1)
        std::abort();
    if (accepted)
    {
        for (int k = 0; k < kUserProgCount; ++k)
        {
            int values[kProgParamCount];
            CProgParamColumn::decodePackedData(data + k * kProgDumpSize + 9, values);
            for (int i = 0; i < kProgParamCount; ++i)
                if (gTable->getRecord(kUserProgCount + k)->getProgParam(i) != values[i])
                    std::abort();
            if (gTable->getRecord(kUserProgCount + k)->m_iOrigProgNo != k)
                std::abort();
        }
        gTable->Close();
    }
    unsigned char now[kProgDumpBlockSize];
    snapshotUserArea(now);
    if (std::memcmp(now, gUserArea, sizeof(now)) != 0)
        std::abort();
    return 0;
}
