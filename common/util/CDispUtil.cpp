#include "CDispUtil.h"

namespace
{
const juce::String kNone(L" --- ");
const juce::String kUnknown(L"???");

// Row text of a name table, or the unknown text for a value outside it.
template <size_t N>
juce::String tableRow(const juce::String (&table)[N], int v)
{
    return (v >= 0 && v < (int) N) ? table[v] : kUnknown;
}
} // namespace

// The amp models come in three groups of the same 11 voicings; the drive
// pedals follow as a fourth group.
const juce::String CDispUtil::m_sAmpType[45] = {
    L"[STD] CLEAN 1",   L"[STD] CLEAN 2",    L"[STD] CRUNCH 1",  L"[STD] CRUNCH 2",   L"[STD] BRIGHT",
    L"[STD] WARM",      L"[STD] LEAD 1",     L"[STD] LEAD 2",    L"[STD] HI GAIN",    L"[STD] HEAVY",
    L"[STD] SMOOTH",    L"[SPL] CLEAN 1",    L"[SPL] CLEAN 2",   L"[SPL] CRUNCH 1",   L"[SPL] CRUNCH 2",
    L"[SPL] BRIGHT",    L"[SPL] WARM",       L"[SPL] LEAD 1",    L"[SPL] LEAD 2",     L"[SPL] HI GAIN",
    L"[SPL] HEAVY",     L"[SPL] SMOOTH",     L"[CST] CLEAN 1",   L"[CST] CLEAN 2",    L"[CST] CRUNCH 1",
    L"[CST] CRUNCH 2",  L"[CST] BRIGHT",     L"[CST] WARM",      L"[CST] LEAD 1",     L"[CST] LEAD 2",
    L"[CST] HI GAIN",   L"[CST] HEAVY",      L"[CST] SMOOTH",    L"[PDL] OVERDRIVE",  L"[PDL] SOFT DRIVE",
    L"[PDL] TUBE DRIVE", L"[PDL] DISTORTION", L"[PDL] HARD DIST", L"[PDL] FUZZ",      L"[PDL] OCTAVE FUZZ",
    L"[PDL] BOOST",     L"[PDL] MID BOOST",  L"[PDL] GRIT",      L"[PDL] THICK DIST", L" --- "};

const juce::String CDispUtil::m_sCabType[12] = {
    L"OPEN 1x8",    L"OPEN 1x10",   L"OPEN 1x12",   L"OPEN 2x10",  L"OPEN 2x12",  L"CLOSED 1x12",
    L"CLOSED 2x12", L"CLOSED 4x10", L"CLOSED 4x12", L"BASS 1x15",  L"DIRECT",     L" --- "};

const juce::String CDispUtil::m_sPdl1Type[5] = {L"COMPRESSOR", L"PEDAL WAH", L"TONE BOOST", L"EXCITER", L" --- "};

const juce::String CDispUtil::m_sPdl2Type[12] = {
    L"FILTER",     L"BOOST",      L"EQ",    L"AUTO WAH", L"TREMOLO",    L"OVERDRIVE",
    L"DISTORTION", L"FUZZ",       L"CRUNCH", L"OCTAVE",  L"HEAVY DIST", L" --- "};

const juce::String CDispUtil::m_sModType[12] = {
    L"CHORUS",  L"ENSEMBLE",    L"FLANGER",     L"PHASER",       L"TREMOLO",  L"ROTARY",
    L"VIBRATO", L"SLOW ATTACK", L"PITCH SHIFT", L"FILTER SWEEP", L"TALK MOD", L" --- "};

const juce::String CDispUtil::m_sDlyType[5] = {L"DIGITAL", L"ANALOG", L"TAPE ECHO", L"PING PONG", L" --- "};

const juce::String CDispUtil::m_sRevType[4] = {L"ROOM", L"HALL", L"SPRING", L" --- "};

juce::String CDispUtil::getDispAmpType(int v) { return tableRow(m_sAmpType, v); }
juce::String CDispUtil::getDispCabType(int v) { return tableRow(m_sCabType, v); }
juce::String CDispUtil::getDispPdl1Type(int v) { return tableRow(m_sPdl1Type, v); }
juce::String CDispUtil::getDispPdl2Type(int v) { return tableRow(m_sPdl2Type, v); }
juce::String CDispUtil::getDispModType(int v) { return tableRow(m_sModType, v); }
juce::String CDispUtil::getDispDlyType(int v) { return tableRow(m_sDlyType, v); }
juce::String CDispUtil::getDispRevType(int v) { return tableRow(m_sRevType, v); }

juce::String CDispUtil::getDispValue(int v) { return juce::String::formatted("%1d.%1d", v / 10, v % 10); }

// The NR value counts fifths.
juce::String CDispUtil::getDispNRValue(int v) { return juce::String::formatted("%1d.%1d", v / 5, (2 * v) % 10); }

juce::String CDispUtil::getDispExpTarget(int t, int v)
{
    const unsigned int uv = (unsigned int) v;
    switch ((unsigned int) t)
    {
        case 1:
            return "VOLUME";
        case 4:
            switch (v)
            {
                case 0: return "P1 SENS";
                case 1: return "P1 MANUAL";
                case 2: return "P1 TONE";
                case 3: return "P1 ENERGIZE";
                default: return kNone;
            }
        case 8:
            if (uv == 0 || uv == 3)
                return "P2 MANUAL";
            if (uv == 1)
                return "P2 LEVEL";
            if (uv == 2)
                return "P2 TONE";
            if (uv == 4)
                return "P2 SPEED";
            if (uv <= 10)
                return "P2 GAIN";
            return kNone;
        case 12:
            return "A/P GAIN";
        case 16:
            switch (uv)
            {
                case 0: case 1: case 4: case 5: case 6: return "MOD DEPTH";
                case 2: case 3: return "MOD RESO";
                case 7: return "MOD ATTACK";
                case 8: return "MOD BALANCE";
                case 9: return "MOD FREQ";
                case 10: return "MOD TALK";
                default: return kNone;
            }
        case 17:
            return (uv == 9 || uv == 10) ? juce::String("MOD RESO") : kNone;
        case 18:
            if (uv <= 6)
                return "MOD SPEED";
            return uv == 8 ? juce::String("MOD PITCH") : kNone;
        case 20:
            return "DLY INPUT";
        case 21:
            return "DLY FBACK";
        case 24:
            return "REV INPUT";
        default:
            return kNone;
    }
}

juce::String CDispUtil::getDispDlyTime(int v) { return juce::String::formatted("%d[ms]", v); }

// The speed word is the modulation period in milliseconds; a word of 32 or
// less has no frequency (and would divide by zero).
juce::String CDispUtil::getDispSpeed(int v)
{
    if (v <= 32)
        return kNone;
    if (v == 33)
        return "30[Hz]";
    if (v == 66)
        return "15[Hz]";
    const int milliHertz = 1000000 / v;
    return juce::String::formatted("%02.2f[Hz]", milliHertz * 0.001);
}

// Code 13 is the detune setting; the codes around it are semitones, with no
// "+0".
juce::String CDispUtil::getDispPitchShift(int v)
{
    if (v == 13)
        return "DT";
    if (v > 13)
        return juce::String::formatted("+%d", v - 13);
    return juce::String::formatted("%d", v - 12);
}

juce::String CDispUtil::getDispFiltron(int v) { return v > 0 ? "DOWN" : "UP"; }

juce::String CDispUtil::getDispTalkMod(int v) { return v > 0 ? "TYPE2" : "TYPE1"; }
