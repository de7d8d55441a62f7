#include "CProgNameTable.h"
void CProgNameTable::openWithFile(juce::File, bool) {}
