#include "CProgNameTable.h"
bool CProgNameTable::GetCutEnable() { return false; }
bool CProgNameTable::GetInsertEnable() { return false; }
bool CProgNameTable::CheckRange() { return true; }
void CProgNameTable::Copy() {}
void CProgNameTable::Cut() {}
void CProgNameTable::deleteKeyPressed() {}
void CProgNameTable::Clear() {}
void CProgNameTable::Insert() {}
void CProgNameTable::Paste() {}
