#include "CProgParamColumn.h"
// Stub: replaced by the program library's implementation.
const unsigned char ucInitProgData[kPackedProgDataSize] = {};
CProgParamColumn::CProgParamColumn() : m_bFxOnOff(), m_iOrigProgNo(kNoOrigProgNo), m_iProgParam() {}
CProgParamColumn::CProgParamColumn(const unsigned char*) : CProgParamColumn() {}
CProgParamColumn::~CProgParamColumn() = default;
void CProgParamColumn::setProgParam(int i, int v) { m_iProgParam[i] = v; }
int CProgParamColumn::getProgParam(int i) const { return m_iProgParam[i]; }
void CProgParamColumn::setFxOnOffStatus(unsigned char) {}
juce::String CProgParamColumn::getFileName() const { return m_sFileName; }
void CProgParamColumn::encodePackedData(const int*, unsigned char*) {}
void CProgParamColumn::decodePackedData(const unsigned char*, int*) {}
