#include "CProgNameTable.h"
void CProgNameTable::mouseDown(const juce::MouseEvent&) {}
void CProgNameTable::mouseDrag(const juce::MouseEvent&) {}
void CProgNameTable::mouseUp(const juce::MouseEvent&) {}
bool CProgNameTable::keyPressed(const juce::KeyPress&) { return false; }
void CProgNameTable::cellClicked(int, int, const juce::MouseEvent&) {}
void CProgNameTable::sendRow(int) {}
