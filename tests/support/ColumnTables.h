#pragma once
// The table's 26 columns, the 24 show/hide flags, the settings panel's
// toggles and the default settings block, written out as literals. Tests
// and fuzz targets take their expected values from here and never from the
// program's own tables, so that a changed title, width, limit, flag order or
// default shows as a failure. Header only: the fuzz targets use it too.
#include <array>

struct SColumnCase
{
    int id;
    const char* title;
    int width, minimum, maximum;
};
inline constexpr SColumnCase kColumns[26] = {
    {1, "No.", 30, 10, 160},         {2, "Prog.", 40, 10, 350},     {3, "PEDAL1", 75, 10, 200},
    {4, "Value", 50, 10, 200},       {5, "PEDAL2", 75, 10, 200},    {6, "Value", 50, 10, 200},
    {7, "AMP/PEDAL", 125, 10, 220},  {8, "GAIN", 45, 10, 160},      {9, "TREBLE", 50, 10, 160},
    {10, "MIDDLE", 50, 10, 160},     {11, "BASS", 50, 10, 160},     {12, "PRESENCE", 60, 10, 200},
    {13, "VOLUME", 50, 10, 160},     {14, "CABINET", 90, 10, 200},  {15, "NR", 30, 10, 160},
    {16, "MODULATION", 75, 10, 200}, {17, "Depth", 65, 10, 220},    {18, "Reso", 60, 10, 200},
    {19, "Speed", 60, 10, 200},      {20, "DELAY", 75, 10, 200},    {21, "Level", 65, 10, 220},
    {22, "FBack", 60, 10, 200},      {23, "Time", 60, 10, 200},     {24, "REVERB", 65, 10, 200},
    {25, "Level", 50, 10, 200},      {26, "EXPRESSION", 65, 10, 200}};

// Flag k shows or hides this column.
inline constexpr int kFlagColumn[24] = {3,  4,  5,  6,  7,  8,  13, 9,  10, 11, 12, 15,
                                        14, 24, 25, 16, 17, 18, 19, 20, 21, 22, 23, 26};

// The flag that shows or hides a column; -1 for the two that are always shown.
constexpr int flagOfColumn(int id)
{
    for (int k = 0; k < 24; ++k)
        if (kFlagColumn[k] == id)
            return k;
    return -1;
}

// The settings panel's toggles in the order it creates them: text, flag.
struct SToggleFlag
{
    const char* text;
    int flag;
};
inline constexpr SToggleFlag kToggleFlags[24] = {
    {"PEDAL1", 0},  {"Value", 1},  {"PEDAL2", 2}, {"Value", 3},       {"GAIN", 5},   {"VOLUME", 6},
    {"TREBLE", 7},  {"MIDDLE", 8}, {"BASS", 9},   {"PRESENCE", 10},   {"NR", 11},    {"CABINET", 12},
    {"REVERB", 13}, {"Level", 14}, {"MODULATION", 15}, {"Depth", 16}, {"Reso", 17},  {"Speed", 18},
    {"DELAY", 19},  {"Level", 20}, {"FBack", 21}, {"Time", 22},       {"EXPRESSOIN", 23}, {"AMP/PEDAL", 4}};

// The default settings of every column.
struct SColumnDefault
{
    int id;
    int shown; // -1: always shown, no show/hide byte
    int width;
};
inline constexpr SColumnDefault kColumnDefaults[26] = {
    {1, -1, 30},  {2, -1, 40},  {3, 1, 69},   {4, 0, 30},   {5, 1, 75},   {6, 0, 30},  {7, 1, 129},
    {8, 1, 39},   {9, 1, 39},   {10, 1, 39},  {11, 1, 39},  {12, 0, 46},  {13, 1, 39}, {14, 1, 89},
    {15, 0, 28},  {16, 1, 79},  {17, 0, 33},  {18, 0, 30},  {19, 1, 60},  {20, 1, 75}, {21, 0, 28},
    {22, 0, 30},  {23, 1, 60},  {24, 1, 59},  {25, 0, 28},  {26, 1, 82}};

// The settings block: magic, font size 12.6, window 1062 x 748, reserved
// bytes, then a show/hide byte for columns 3 to 26 and a width byte for
// columns 1 to 26.
constexpr int kShowHideByte = 16; // column c at kShowHideByte + c - 3
constexpr int kWidthByte = 40;    // column c at kWidthByte + c - 1
inline std::array<unsigned char, 66> defaultSettingsBlock()
{
    std::array<unsigned char, 66> block {'K', 'S', 'Q', 'C', 12, 6, 106, 2, 74, 8};
    for (const auto& c : kColumnDefaults)
    {
        if (c.shown >= 0)
            block[(size_t) (kShowHideByte + c.id - 3)] = (unsigned char) c.shown;
        block[(size_t) (kWidthByte + c.id - 1)] = (unsigned char) c.width;
    }
    return block;
}
