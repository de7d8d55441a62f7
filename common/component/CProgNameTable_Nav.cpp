#include "CProgNameTable.h"
#include "CMidiSetupComponent.h"

// The row events and the framework's own row selection do the selecting;
// the table itself only sends the clicked row.
void CProgNameTable::mouseDown(const juce::MouseEvent&) {}

void CProgNameTable::mouseUp(const juce::MouseEvent&) {}

void CProgNameTable::mouseDrag(const juce::MouseEvent& e)
{
    if (auto* parent = getParentComponent())
        parent->mouseDrag(e);
}

void CProgNameTable::cellClicked(int rowNumber, int, const juce::MouseEvent&) { sendRow(rowNumber); }

bool CProgNameTable::keyPressed(const juce::KeyPress& key)
{
    const int code = key.getKeyCode();
    if (code != juce::KeyPress::downKey && code != juce::KeyPress::upKey && code != juce::KeyPress::pageDownKey
        && code != juce::KeyPress::pageUpKey && code != juce::KeyPress::returnKey)
        return false;

    const int n = getNumRows();
    if (n == 0)
        return false;

    const int cur = getLastRowSelected();
    const bool shift = key.getModifiers().isShiftDown();
    int t = cur;
    if (code == juce::KeyPress::downKey)
    {
        t = cur + 1;
        if (!shift)
            selectRow(t = juce::jmin(t, n - 1), false, true);
        else if (t >= n)
            t = n - 1;
        else if (isRowSelected(t))
            deselectRow(cur); // the block shrinks from its top
        else
            selectRow(t, false, false);
    }
    else if (code == juce::KeyPress::upKey)
    {
        t = cur - 1;
        if (!shift)
            selectRow(t = juce::jmax(t, 0), false, true);
        else if (t < 0)
            t = 0;
        else if (isRowSelected(t))
        {
            // Gives up the anchor row and fills every gap between the
            // lowest selected row and t.
            deselectRow(cur);
            const int lowest = getLastRowSelected();
            selectRangeOfRows(lowest < 0 ? t : lowest, t);
            selectRow(t, false, false);
        }
        else
            selectRow(t, false, false);
    }
    else if (code == juce::KeyPress::pageDownKey)
    {
        selectRow(t = juce::jmin(cur + 50, n - 1), false, true);
    }
    else if (code == juce::KeyPress::pageUpKey)
    {
        t = (cur == n - 1) ? n - 50 : cur - 50;
        selectRow(t = juce::jmax(t, 0), false, true);
    }
    sendRow(t);
    return true;
}

void CProgNameTable::sendRow(int row)
{
    if (m_pMidiSetupComponent == nullptr || row >= getNumRows() || getNumRows() == 0)
        return;
    CopyProgForCurDump(row, m_ucCurDumpData);
    m_pMidiSetupComponent->sendCurrentProg(m_ucCurDumpData);
}
