#pragma once
#include "KsqxJuce.h"

// Length of the packed form of a program's 32 values.
constexpr int kPackedProgDataSize = 37;
// Number of parameter values of a program.
constexpr int kProgParamCount = 32;
// Source program number of a record that has none.
constexpr int kNoOrigProgNo = 101;

// The initial program: refills the rows that Cut removes and replaces the rows
// that Clear empties.
extern const unsigned char ucInitProgData[kPackedProgDataSize];

// One program of the unit as the librarian holds it. Never shown: the
// component base only gives it the common component lifetime.
class CProgParamColumn : public juce::Component
{
public:
    CProgParamColumn();                               // the blank record
    explicit CProgParamColumn(const unsigned char* packed); // decodes 37 packed bytes
    ~CProgParamColumn() override;

    void setProgParam(int index, int value);
    int getProgParam(int index) const;
    void setFxOnOffStatus(unsigned char bits);
    juce::String getFileName() const;

    // The packed program data, callable without a record.
    static void encodePackedData(const int* values, unsigned char* packed);
    static void decodePackedData(const unsigned char* packed, int* values);

    bool m_bFxOnOff[8];
    int m_iOrigProgNo;
    int m_iProgParam[kProgParamCount];
    juce::String m_sFileName;

private:
    JUCE_DECLARE_NON_COPYABLE(CProgParamColumn)
};
