#include "CProgNameTable.h"
// Stub: replaced by the program library's implementation.
const unsigned char ucProgDumpHeader[8] = {0xF0, 0x42, 0x30, 0x00, 0x01, 0x10, 0x4C, 0x20};
const unsigned char ucCurProgDumpHeader[7] = {0xF0, 0x42, 0x30, 0x00, 0x01, 0x10, 0x40};
const SColumnDescriptor CProgNameTable::sm_amColumnDescriptors[kColumnCount] = {};
const int CProgNameTable::sm_aiFlagColumnIds[kShowHideFlagCount] = {};
CProgNameTable::CProgNameTable()
    : juce::TableListBox("ProgNameTable", nullptr), m_iReselectRow(0), m_ucCurDumpData(), m_ucReadProgData(),
      m_ucWriteProgData(), m_bCutEnable(false), m_bInsertEnable(false), m_pConfigDialogComponent(nullptr),
      m_pMidiSetupComponent(nullptr) { setModel(this); }
CProgNameTable::~CProgNameTable() = default;
void CProgNameTable::mouseDown(const juce::MouseEvent&) {}
void CProgNameTable::mouseDrag(const juce::MouseEvent&) {}
void CProgNameTable::mouseUp(const juce::MouseEvent&) {}
bool CProgNameTable::keyPressed(const juce::KeyPress&) { return false; }
int CProgNameTable::getNumRows() { return m_aProgList.size(); }
void CProgNameTable::paintRowBackground(juce::Graphics&, int, int, int, bool) {}
void CProgNameTable::paintCell(juce::Graphics&, int, int, int, int, bool) {}
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
void CProgNameTable::updateColumnStatus(CConfigDialogComponent*) {}
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
void CProgNameTable::handleAsyncUpdate() {}
void CProgNameTable::copyRecord(const CProgParamColumn&, CProgParamColumn&) const {}
void CProgNameTable::sendRow(int) {}
