#include "CProgNameTable.h"
// Stub: replaced by the program library's implementation.
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
CProgNameTable::~CProgNameTable() = default;
void CProgNameTable::mouseDown(const juce::MouseEvent&) {}
void CProgNameTable::mouseDrag(const juce::MouseEvent&) {}
void CProgNameTable::mouseUp(const juce::MouseEvent&) {}
bool CProgNameTable::keyPressed(const juce::KeyPress&) { return false; }
int CProgNameTable::getNumRows() { return m_aProgList.size(); }
void CProgNameTable::cellClicked(int, int, const juce::MouseEvent&) {}
void CProgNameTable::setConfigDialogComponent(CConfigDialogComponent* p) { m_pConfigDialogComponent = p; }
void CProgNameTable::setMidiSetupComponent(CMidiSetupComponent* p) { m_pMidiSetupComponent = p; }
void CProgNameTable::initialize() {}
void CProgNameTable::Add(unsigned char*) {}
void CProgNameTable::Add() {}
void CProgNameTable::Insert(const unsigned char*) {}
void CProgNameTable::Refresh() {}
void CProgNameTable::UpdateUserProg() {}
void CProgNameTable::Close() {}
void CProgNameTable::setOrigProgNo(int, int) {}
void CProgNameTable::setFileName(int, juce::String) {}
void CProgNameTable::CopyProgForWrite(int, unsigned char*) {}
void CProgNameTable::CopyProgForCurDump(int, unsigned char*) {}
bool CProgNameTable::GetCutEnable() { return false; }
bool CProgNameTable::GetInsertEnable() { return false; }
bool CProgNameTable::CheckRange() { return true; }
void CProgNameTable::Copy() {}
void CProgNameTable::Cut() {}
void CProgNameTable::deleteKeyPressed() {}
void CProgNameTable::Clear() {}
void CProgNameTable::Insert() {}
void CProgNameTable::Paste() {}
void CProgNameTable::openWithFile(juce::File, bool) {}
void CProgNameTable::copyRecord(const CProgParamColumn&, CProgParamColumn&) const {}
void CProgNameTable::sendRow(int) {}
