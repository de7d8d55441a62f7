#include "CProgNameTable.h"
// Stub: replaced by the cell display implementation.
void CProgNameTable::paintRowBackground(juce::Graphics&, int, int, int, bool) {}
void CProgNameTable::paintCell(juce::Graphics&, int, int, int, int, bool) {}
void CProgNameTable::updateColumnStatus(CConfigDialogComponent*) {}
void CProgNameTable::handleAsyncUpdate() {}
