#include "CDispUtil.h"
// Stub: replaced by the program library's implementation.
const juce::String CDispUtil::m_sAmpType[45];
const juce::String CDispUtil::m_sCabType[12];
const juce::String CDispUtil::m_sPdl1Type[5];
const juce::String CDispUtil::m_sPdl2Type[12];
const juce::String CDispUtil::m_sModType[12];
const juce::String CDispUtil::m_sDlyType[5];
const juce::String CDispUtil::m_sRevType[4];
juce::String CDispUtil::getDispAmpType(int) { return {}; }
juce::String CDispUtil::getDispCabType(int) { return {}; }
juce::String CDispUtil::getDispPdl1Type(int) { return {}; }
juce::String CDispUtil::getDispPdl2Type(int) { return {}; }
juce::String CDispUtil::getDispModType(int) { return {}; }
juce::String CDispUtil::getDispDlyType(int) { return {}; }
juce::String CDispUtil::getDispRevType(int) { return {}; }
juce::String CDispUtil::getDispValue(int) { return {}; }
juce::String CDispUtil::getDispNRValue(int) { return {}; }
juce::String CDispUtil::getDispExpTarget(int, int) { return {}; }
juce::String CDispUtil::getDispDlyTime(int) { return {}; }
juce::String CDispUtil::getDispSpeed(int) { return {}; }
juce::String CDispUtil::getDispPitchShift(int) { return {}; }
juce::String CDispUtil::getDispFiltron(int) { return {}; }
juce::String CDispUtil::getDispTalkMod(int) { return {}; }
