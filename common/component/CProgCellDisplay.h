#pragma once
#include "KsqxJuce.h"
#include "CProgParamColumn.h"

// What one cell of the program table shows: its text, and whether it is drawn
// in the dimmed text colour because the effect it belongs to is off.
struct SCellContent
{
    juce::String text;
    bool dimmed = false;
};

// The program table's choice of cell texts and colours, kept apart from the
// drawing so that it can be checked without reading pixels.
class CProgCellDisplay
{
public:
    // Text and dimming of the cell of the given column for the record of the
    // given row. Column 7 (amp/pedal) gets its text here; its dot is drawn
    // from getAmpDotColour.
    static SCellContent getCellContent(const CProgParamColumn& record, int row, int columnId);

    // Colour of the amp/pedal dot of an amp type; false when the type gets
    // no dot (the drive pedals and the none row).
    static bool getAmpDotColour(int ampType, juce::Colour& colour);

    // The program label of the "Prog." column: file name, "_", bank-position.
    static juce::String getProgramLabel(const CProgParamColumn& record);
};
