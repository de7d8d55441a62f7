#include "CProgNameTable.h"

// Every edit keeps the user area at exactly 100 rows: what leaves it is
// refilled with the initial program at its end, what is pushed past row 99
// is dropped. Library rows are never removed by an edit.

bool CProgNameTable::GetCutEnable() { return m_bCutEnable && getLastRowSelected() < kUserProgCount; }

bool CProgNameTable::GetInsertEnable() { return m_bInsertEnable && getLastRowSelected() < kUserProgCount; }

bool CProgNameTable::CheckRange()
{
    const int anchor = getLastRowSelected();
    const int count = m_aClipboard.size();
    if (anchor > kUserProgCount || count > kUserProgCount)
        return false;
    return count <= kUserProgCount - anchor;
}

CProgParamColumn* CProgNameTable::newCopyOf(const CProgParamColumn& from) const
{
    auto* to = new CProgParamColumn();
    copyRecord(from, *to);
    return to;
}

void CProgNameTable::Copy()
{
    m_aClipboard.clear();
    const int n = getNumRows();
    for (int r = 0; r < n; ++r)
        if (isRowSelected(r))
            m_aClipboard.add(newCopyOf(*m_aProgList[r]));
    m_bInsertEnable = true;
}

void CProgNameTable::Cut()
{
    Copy();
    deleteKeyPressed();
}

void CProgNameTable::deleteKeyPressed()
{
    int first = getLastRowSelected();
    int removed = 0;
    const int n = getNumRows();
    for (int r = 0; r < n; ++r)
    {
        if (!isRowSelected(r))
            continue;
        if (r < kUserProgCount)
        {
            if (removed == 0)
                first = r;
            m_aProgList.remove(r - removed);
            m_iReselectRow = r - removed;
            ++removed;
        }
        deselectRow(r);
    }
    // The refill goes straight to the end of the user area, not to wherever
    // the selection happens to be, so the library rows come back at row 100.
    for (int k = 0; k < removed; ++k)
        m_aProgList.insert(kUserProgCount - removed, new CProgParamColumn(ucInitProgData));
    selectRow(first, false, true);
    repaint();
}

void CProgNameTable::Clear()
{
    m_aClipboard.clear();
    const int n = getNumRows();
    for (int r = 0; r < n; ++r)
    {
        if (!isRowSelected(r))
            continue;
        m_aClipboard.add(newCopyOf(*m_aProgList[r]));
        m_aProgList.set(r, new CProgParamColumn(ucInitProgData), true);
    }
    m_bInsertEnable = true;
    repaint();
}

// Paste and Insert need a target row: with no row selected they leave the
// table as it is.
void CProgNameTable::Insert()
{
    const int anchor = getLastRowSelected();
    if (anchor < 0)
        return;
    const int count = juce::jlimit(0, m_aClipboard.size(), kUserProgCount - anchor);
    for (int k = 0; k < count; ++k)
        m_aProgList.insert(anchor + k, newCopyOf(*m_aClipboard[k]));
    // The user rows pushed past row 99.
    m_aProgList.removeRange(kUserProgCount, count);
    repaint();
}

void CProgNameTable::Paste()
{
    const int anchor = getLastRowSelected();
    if (anchor < 0)
        return;
    const int count = juce::jlimit(0, m_aClipboard.size(), kUserProgCount - anchor);
    for (int k = 0; k < count; ++k)
        m_aProgList.set(anchor + k, newCopyOf(*m_aClipboard[k]), true);
    repaint();
}
