#pragma once
// The display formatters' texts, written out as literals: the seven model
// and effect tables row by row (row i is the text of type i) and the
// expression targets' texts. Tests take their expected texts from here and
// never from the program's own tables, so that a changed letter, two rows
// swapped or a row moved by one shows as a failure. Header only, like
// ColumnTables.h.
//
// The amp table is the same 11 amp names under the prefixes "[STD] ",
// "[SPL] " and "[CST] " (the three groups of the amp/pedal dot), then 11
// drive pedals under "[PDL] "; every table ends with the none row " --- ".
// Texts that look like slips but are meant are marked "as meant".

inline constexpr const char* kNoneText = " --- "; // a blank, three hyphens, a blank
inline constexpr const char* kUnknownText = "???";

inline constexpr const char* kAmpTypes[45] = {
    // 0 to 10
    "[STD] CLEAN 1", "[STD] CLEAN 2", "[STD] CRUNCH 1", "[STD] CRUNCH 2", "[STD] BRIGHT", "[STD] WARM",
    "[STD] LEAD 1", "[STD] LEAD 2", "[STD] HI GAIN", "[STD] HEAVY", "[STD] SMOOTH",
    // 11 to 21
    "[SPL] CLEAN 1", "[SPL] CLEAN 2", "[SPL] CRUNCH 1", "[SPL] CRUNCH 2", "[SPL] BRIGHT", "[SPL] WARM",
    "[SPL] LEAD 1", "[SPL] LEAD 2", "[SPL] HI GAIN", "[SPL] HEAVY", "[SPL] SMOOTH",
    // 22 to 32
    "[CST] CLEAN 1", "[CST] CLEAN 2", "[CST] CRUNCH 1", "[CST] CRUNCH 2", "[CST] BRIGHT", "[CST] WARM",
    "[CST] LEAD 1", "[CST] LEAD 2", "[CST] HI GAIN", "[CST] HEAVY", "[CST] SMOOTH",
    // 33 to 43 ("DIST" as meant: the unit's short form), then the none row
    "[PDL] OVERDRIVE", "[PDL] SOFT DRIVE", "[PDL] TUBE DRIVE", "[PDL] DISTORTION", "[PDL] HARD DIST",
    "[PDL] FUZZ", "[PDL] OCTAVE FUZZ", "[PDL] BOOST", "[PDL] MID BOOST", "[PDL] GRIT", "[PDL] THICK DIST",
    " --- "};

// Most cabinets end with their speaker layout.
inline constexpr const char* kCabTypes[12] = {
    "OPEN 1x8",    "OPEN 1x10",   "OPEN 1x12",   "OPEN 2x10", "OPEN 2x12", "CLOSED 1x12",
    "CLOSED 2x12", "CLOSED 4x10", "CLOSED 4x12", "BASS 1x15", "DIRECT",    " --- "};

inline constexpr const char* kPdl1Types[5] = {"COMPRESSOR", "PEDAL WAH", "TONE BOOST", "EXCITER", " --- "};

// "HEAVY DIST" as meant: the unit's short form.
inline constexpr const char* kPdl2Types[12] = {
    "FILTER",     "BOOST", "EQ",     "AUTO WAH", "TREMOLO",    "OVERDRIVE",
    "DISTORTION", "FUZZ",  "CRUNCH", "OCTAVE",   "HEAVY DIST", " --- "};

// Types 7 to 10 change the Speed and Reso columns.
inline constexpr const char* kModTypes[12] = {
    "CHORUS",  "ENSEMBLE",    "FLANGER",     "PHASER",       "TREMOLO",  "ROTARY",
    "VIBRATO", "SLOW ATTACK", "PITCH SHIFT", "FILTER SWEEP", "TALK MOD", " --- "};

inline constexpr const char* kDlyTypes[5] = {"DIGITAL", "ANALOG", "TAPE ECHO", "PING PONG", " --- "};

inline constexpr const char* kRevTypes[4] = {"ROOM", "HALL", "SPRING", " --- "};

// The expression targets' texts: target, the types it holds for (kAnyType:
// any value at all, negative ones included), text. Every other pair gives
// the none text.
inline constexpr int kAnyType = -1;
struct SExpTargetText
{
    int target;
    int fromType, toType;
    const char* text;
};
inline constexpr SExpTargetText kExpTargetTexts[] = {
    {1, kAnyType, kAnyType, "VOLUME"},
    {4, 0, 0, "P1 SENS"},
    {4, 1, 1, "P1 MANUAL"},
    {4, 2, 2, "P1 TONE"},
    {4, 3, 3, "P1 ENERGIZE"},
    {8, 0, 0, "P2 MANUAL"},
    {8, 1, 1, "P2 LEVEL"},
    {8, 2, 2, "P2 TONE"},
    {8, 3, 3, "P2 MANUAL"}, // as meant: the text of type 0 again
    {8, 4, 4, "P2 SPEED"},
    {8, 5, 10, "P2 GAIN"},
    {12, kAnyType, kAnyType, "A/P GAIN"},
    {16, 0, 1, "MOD DEPTH"},
    {16, 2, 3, "MOD RESO"},
    {16, 4, 6, "MOD DEPTH"},
    {16, 7, 7, "MOD ATTACK"},
    {16, 8, 8, "MOD BALANCE"},
    {16, 9, 9, "MOD FREQ"},
    {16, 10, 10, "MOD TALK"},
    {17, 9, 10, "MOD RESO"},
    {18, 0, 6, "MOD SPEED"},
    {18, 8, 8, "MOD PITCH"},
    {20, kAnyType, kAnyType, "DLY INPUT"},
    {21, kAnyType, kAnyType, "DLY FBACK"},
    {24, kAnyType, kAnyType, "REV INPUT"},
};

// The text the program must show for target t with type v.
constexpr const char* expTargetText(int t, int v)
{
    for (const auto& e : kExpTargetTexts)
        if (e.target == t && (e.fromType == kAnyType || (v >= e.fromType && v <= e.toType)))
            return e.text;
    return kNoneText;
}
