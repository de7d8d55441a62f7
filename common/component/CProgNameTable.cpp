#include "CProgNameTable.h"
const unsigned char ucProgDumpHeader[8] = {0xF0, 0x42, 0x30, 0x00, 0x01, 0x10, 0x4C, 0x20};
const unsigned char ucCurProgDumpHeader[7] = {0xF0, 0x42, 0x30, 0x00, 0x01, 0x10, 0x40};
const SColumnDescriptor CProgNameTable::sm_amColumnDescriptors[kColumnCount] = {
    {"No.", 1, 30, 10, 160},        {"Prog.", 2, 40, 10, 350},      {"PEDAL1", 3, 75, 10, 200},
    {"Value", 4, 50, 10, 200},      {"PEDAL2", 5, 75, 10, 200},     {"Value", 6, 50, 10, 200},
    {"AMP/PEDAL", 7, 125, 10, 220}, {"GAIN", 8, 45, 10, 160},       {"TREBLE", 9, 50, 10, 160},
    {"MIDDLE", 10, 50, 10, 160},    {"BASS", 11, 50, 10, 160},      {"PRESENCE", 12, 60, 10, 200},
    {"VOLUME", 13, 50, 10, 160},    {"CABINET", 14, 90, 10, 200},   {"NR", 15, 30, 10, 160},
    {"MODULATION", 16, 75, 10, 200}, {"Depth", 17, 65, 10, 220},    {"Reso", 18, 60, 10, 200},
    {"Speed", 19, 60, 10, 200},     {"DELAY", 20, 75, 10, 200},     {"Level", 21, 65, 10, 220},
    {"FBack", 22, 60, 10, 200},     {"Time", 23, 60, 10, 200},      {"REVERB", 24, 65, 10, 200},
    {"Level", 25, 50, 10, 200},     {"EXPRESSION", 26, 65, 10, 200}};
// Flag k of the settings' show/hide flags governs this column id.
const int CProgNameTable::sm_aiFlagColumnIds[kShowHideFlagCount] = {3,  4,  5,  6,  7,  8,  13, 9,  10, 11, 12, 15,
                                                                    14, 24, 25, 16, 17, 18, 19, 20, 21, 22, 23, 26};
CProgNameTable::CProgNameTable()
    : juce::TableListBox("ProgNameTable", nullptr), m_iReselectRow(0), m_ucCurDumpData(), m_ucReadProgData(),
      m_ucWriteProgData(), m_bCutEnable(false), m_bInsertEnable(false), m_pConfigDialogComponent(nullptr),
      m_pMidiSetupComponent(nullptr)
{
    setModel(this);
    for (const auto& d : sm_amColumnDescriptors)
        getHeader().addColumn(d.name, d.columnId, d.width, d.minimumWidth, d.maximumWidth,
                              juce::TableHeaderComponent::visible | juce::TableHeaderComponent::resizable
                                  | juce::TableHeaderComponent::appearsOnColumnMenu,
                              -1);
    setMultipleSelectionEnabled(true);
    getHeader().setPopupMenuActive(false);
    addMouseListener(this, true);
}
CProgNameTable::~CProgNameTable()
{
    m_aClipboard.clear();
    m_aProgList.clear();
    // The model side of this object goes before the list base: detach it so
    // that the list never reaches it while being torn down.
    setModel(nullptr);
}

int CProgNameTable::getNumRows() { return m_aProgList.size(); }

void CProgNameTable::setConfigDialogComponent(CConfigDialogComponent* p) { m_pConfigDialogComponent = p; }

void CProgNameTable::setMidiSetupComponent(CMidiSetupComponent* p) { m_pMidiSetupComponent = p; }

void CProgNameTable::initialize()
{
    if (getNumRows() != 0)
        return;
    for (int i = 0; i < kUserProgCount; ++i)
        Add();
}

void CProgNameTable::Add(unsigned char* packed)
{
    m_aProgList.add(new CProgParamColumn(packed));
    Refresh();
}

void CProgNameTable::Add()
{
    m_aProgList.add(new CProgParamColumn());
    Refresh();
}

void CProgNameTable::Insert(const unsigned char* packed)
{
    // Index -1 (no selection) or one past the end appends.
    m_aProgList.insert(getLastRowSelected(), new CProgParamColumn(packed));
    repaint();
}

bool CProgNameTable::isAnyRowSelectedBelow(int rowCount) const
{
    const auto selected = getSelectedRows();
    for (int i = 0; i < selected.getNumRanges(); ++i)
        if (selected.getRange(i).getStart() < rowCount)
            return true;
    return false;
}

void CProgNameTable::Refresh()
{
    const int n = getNumRows();
    if (!isAnyRowSelectedBelow(n))
    {
        // Kept at 0 or above, so that an empty table does not lose the
        // remembered row for good.
        if (n - 1 < m_iReselectRow)
            m_iReselectRow = juce::jmax(0, n - 1);
        // Made before the list learns the new row count: a row it does not
        // know yet only clears the selection.
        selectRow(m_iReselectRow, false, true);
    }
    updateContent();
}

void CProgNameTable::UpdateUserProg()
{
    const int before = getNumRows();
    m_aProgList.removeRange(0, kUserProgCount);
    for (int i = 0; i < kUserProgCount; ++i)
    {
        m_aProgList.insert(i, new CProgParamColumn(m_ucReadProgData + i * kProgDumpSize + 9));
        // The program's number is its position in the block, whatever its
        // number byte says.
        setOrigProgNo(i, i);
        setFileName(i, juce::String());
    }
    // Only a table that never had its user area filled changes its count.
    if (getNumRows() != before)
        updateContent();
    repaint();
}

void CProgNameTable::Close()
{
    const int n = getNumRows();
    if (n > kUserProgCount)
        m_aProgList.removeRange(kUserProgCount, n - kUserProgCount);
    Refresh();
}

void CProgNameTable::setOrigProgNo(int row, int number)
{
    if (auto* record = m_aProgList[row])
        record->m_iOrigProgNo = number;
}

void CProgNameTable::setFileName(int row, juce::String name)
{
    if (auto* record = m_aProgList[row])
        record->m_sFileName = name;
}

void CProgNameTable::CopyProgForWrite(int row, unsigned char* buffer)
{
    const auto* record = m_aProgList[row];
    if (record == nullptr)
        return;
    std::memcpy(buffer, ucProgDumpHeader, sizeof(ucProgDumpHeader));
    buffer[8] = (unsigned char) (row & 0xFF);
    int values[kProgParamCount];
    for (int i = 0; i < kProgParamCount; ++i)
        values[i] = record->getProgParam(i);
    CProgParamColumn::encodePackedData(values, buffer + 9);
    buffer[kProgDumpSize - 1] = 0xF7;
}

void CProgNameTable::CopyProgForCurDump(int row, unsigned char* buffer)
{
    const int r = juce::jmax(0, row);
    if (r >= getNumRows())
        return;
    // The first record of the outgoing block is the work area.
    CopyProgForWrite(r, m_ucWriteProgData);
    std::memcpy(buffer, ucCurProgDumpHeader, sizeof(ucCurProgDumpHeader));
    std::memcpy(buffer + 7, m_ucWriteProgData + 9, kPackedProgDataSize + 1);
}

void CProgNameTable::copyRecord(const CProgParamColumn& from, CProgParamColumn& to) const
{
    for (int i = 0; i < kProgParamCount; ++i)
        to.setProgParam(i, from.getProgParam(i));
    to.m_sFileName = from.getFileName();
    to.m_iOrigProgNo = from.m_iOrigProgNo;
    to.setFxOnOffStatus((unsigned char) (to.getProgParam(0) & 0xFF));
}
