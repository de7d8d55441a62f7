#pragma once
#include "KsqxJuce.h"
#include "CProgParamColumn.h"

class CConfigDialogComponent;
class CMidiSetupComponent;

// Layout of the unit's program messages and of the program dump block.
constexpr int kProgDumpSize = 47;          // one program dump message
constexpr int kCurProgDumpSize = 45;       // one current-program dump message
constexpr int kUserProgCount = 100;        // programs of the user area
constexpr int kProgDumpBlockSize = kProgDumpSize * kUserProgCount; // 4700
constexpr int kColumnCount = 26;
constexpr int kShowHideFlagCount = 24;

extern const unsigned char ucProgDumpHeader[8];    // F0 42 30 00 01 10 4C 20
extern const unsigned char ucCurProgDumpHeader[7]; // F0 42 30 00 01 10 40

struct SColumnDescriptor
{
    juce::String name;
    int columnId = 0;
    int width = 0;
    int minimumWidth = 0;
    int maximumWidth = 0;
};

// The one list in which the user sees and handles programs: rows 0 to 99 are
// the unit's user programs, every later block of 100 rows one opened library
// file. The table is its own model.
class CProgNameTable : public juce::TableListBox,
                       public juce::TableListBoxModel,
                       private juce::AsyncUpdater
{
public:
    CProgNameTable();
    ~CProgNameTable() override;

    // Mouse and keys (selection and current program).
    void mouseDown(const juce::MouseEvent& e) override;
    void mouseDrag(const juce::MouseEvent& e) override;
    void mouseUp(const juce::MouseEvent& e) override;
    bool keyPressed(const juce::KeyPress& key) override;

    // Model.
    int getNumRows() override;
    void paintRowBackground(juce::Graphics& g, int rowNumber, int width, int height,
                            bool rowIsSelected) override;
    void paintCell(juce::Graphics& g, int rowNumber, int columnId, int width, int height,
                   bool rowIsSelected) override;
    void cellClicked(int rowNumber, int columnId, const juce::MouseEvent& e) override;
    using juce::TableListBoxModel::deleteKeyPressed;

    // Wiring.
    void setConfigDialogComponent(CConfigDialogComponent* p);
    void setMidiSetupComponent(CMidiSetupComponent* p);

    // Rows.
    void initialize();
    void Add(unsigned char* packed);
    void Add();
    void Insert(const unsigned char* packed);
    void Refresh();
    void UpdateUserProg();
    void Close();
    void setOrigProgNo(int row, int number);
    void setFileName(int row, juce::String name);

    // Cell display settings.
    void updateColumnStatus(CConfigDialogComponent* config);

    // Program dump messages.
    void CopyProgForWrite(int row, unsigned char* buffer);
    void CopyProgForCurDump(int row, unsigned char* buffer);

    // Clipboard editing.
    bool GetCutEnable();
    bool GetInsertEnable();
    bool CheckRange();
    void Copy();
    void Cut();
    void deleteKeyPressed();
    void Clear();
    void Insert();
    void Paste();

    // Library file reader.
    void openWithFile(juce::File file, bool selectFirstRow);

    // Record access for the program's other parts and the tests.
    CProgParamColumn* getRecord(int row) const { return m_aProgList[row]; }

    static const SColumnDescriptor sm_amColumnDescriptors[kColumnCount];
    // Column id shown or hidden by show/hide flag k (0 to 23).
    static const int sm_aiFlagColumnIds[kShowHideFlagCount];

    int m_iReselectRow;
    unsigned char m_ucCurDumpData[kProgDumpSize];
    unsigned char m_ucReadProgData[kProgDumpBlockSize];
    unsigned char m_ucWriteProgData[kProgDumpBlockSize];
    bool m_bCutEnable;
    bool m_bInsertEnable;
    juce::OwnedArray<CProgParamColumn> m_aProgList;
    juce::OwnedArray<CProgParamColumn> m_aClipboard;
    CConfigDialogComponent* m_pConfigDialogComponent;
    CMidiSetupComponent* m_pMidiSetupComponent;

private:
    // What updateColumnStatus applied last; valid once m_bColumnStatusApplied.
    bool m_bColumnStatusApplied = false;
    double m_dAppliedFontSize = 0.0;
    bool m_abAppliedColumnVisible[kShowHideFlagCount] = {};
    // The cells' font, kept while the font size stays: a font made afresh
    // for every cell is looked up again in the typeface and glyph caches.
    juce::Font m_cellFont;
    float m_fCellFontSize = 0.0f; // 0 until the first cell is painted

    void handleAsyncUpdate() override;
    // Whether the settings panel's font size and show/hide flags are those
    // that updateColumnStatus applied last (the only code that changes the
    // heights and the columns' visibility).
    bool isColumnStatusApplied(CConfigDialogComponent& config) const;
    void copyRecord(const CProgParamColumn& from, CProgParamColumn& to) const;
    void sendRow(int row);
    // Whether any row below rowCount is selected (the list may still hold
    // rows past the end of the records).
    bool isAnyRowSelectedBelow(int rowCount) const;
    // A new record that is a field-by-field copy of the given one.
    CProgParamColumn* newCopyOf(const CProgParamColumn& from) const;

    JUCE_DECLARE_NON_COPYABLE(CProgNameTable)
};
