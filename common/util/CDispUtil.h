#pragma once
#include "KsqxJuce.h"

// Turns a program's parameter values into the texts of the table's cells.
// Pure functions of their arguments over seven constant name tables.
class CDispUtil
{
public:
    static juce::String getDispAmpType(int v);
    static juce::String getDispCabType(int v);
    static juce::String getDispPdl1Type(int v);
    static juce::String getDispPdl2Type(int v);
    static juce::String getDispModType(int v);
    static juce::String getDispDlyType(int v);
    static juce::String getDispRevType(int v);
    static juce::String getDispValue(int v);
    static juce::String getDispNRValue(int v);
    static juce::String getDispExpTarget(int t, int v);
    static juce::String getDispDlyTime(int v);
    static juce::String getDispSpeed(int v);
    static juce::String getDispPitchShift(int v);
    static juce::String getDispFiltron(int v);
    static juce::String getDispTalkMod(int v);

    static const juce::String m_sAmpType[45];
    static const juce::String m_sCabType[12];
    static const juce::String m_sPdl1Type[5];
    static const juce::String m_sPdl2Type[12];
    static const juce::String m_sModType[12];
    static const juce::String m_sDlyType[5];
    static const juce::String m_sRevType[4];
};
