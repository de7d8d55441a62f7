#include "CProgParamColumn.h"

// Values 7 (VOLUME 80), 19/20 (modulation speed word 2000) and 24/25 (delay
// time word 1000) are set; everything else is 0, all effects off. Bytes 35
// and 36 hold values 30 and 31, which nothing shows: they stay 0 like every
// other unused value, so the unit receives a neutral program for them.
const unsigned char ucInitProgData[kPackedProgDataSize] = {
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, // group 0: values 0 to 6
    0x00, 0x50, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, // group 1: values 7 to 13
    0x20, 0x00, 0x00, 0x00, 0x00, 0x00, 0x50, 0x07, // group 2: values 14 to 20
    0x08, 0x00, 0x00, 0x00, 0x68, 0x03, 0x00, 0x00, // group 3: values 21 to 27
    0x00, 0x00, 0x00, 0x00, 0x00};                  // group 4: values 28 to 31

CProgParamColumn::CProgParamColumn() : m_bFxOnOff(), m_iOrigProgNo(kNoOrigProgNo), m_iProgParam() {}

CProgParamColumn::CProgParamColumn(const unsigned char* packed) : CProgParamColumn()
{
    decodePackedData(packed, m_iProgParam);
    setFxOnOffStatus((unsigned char) (m_iProgParam[0] & 0xFF));
}

CProgParamColumn::~CProgParamColumn() = default;

void CProgParamColumn::setProgParam(int index, int value) { m_iProgParam[index] = value; }

int CProgParamColumn::getProgParam(int index) const { return m_iProgParam[index]; }

void CProgParamColumn::setFxOnOffStatus(unsigned char bits)
{
    for (int k = 0; k < 8; ++k)
        m_bFxOnOff[k] = ((bits >> k) & 1) != 0;
}

juce::String CProgParamColumn::getFileName() const { return m_sFileName; }

// Each group of seven values is led by a byte holding their bit 7s, so that
// every byte on the wire stays below 0x80.
void CProgParamColumn::encodePackedData(const int* values, unsigned char* packed)
{
    for (int i = 0; i < kProgParamCount; ++i)
    {
        const int group = i / 7, pos = i % 7;
        unsigned char& high = packed[8 * group];
        if (pos == 0)
            high = 0;
        const unsigned char b = (unsigned char) (values[i] & 0xFF);
        if (b & 0x80)
            high = (unsigned char) (high | (1 << pos));
        packed[8 * group + 1 + pos] = (unsigned char) (b & 0x7F);
    }
}

// Takes every data byte whole: one that arrives with bit 7 set keeps it.
void CProgParamColumn::decodePackedData(const unsigned char* packed, int* values)
{
    unsigned char high = 0;
    int value = 0;
    for (int i = 0; i < kPackedProgDataSize; ++i)
    {
        if (i % 8 == 0)
            high = packed[i];
        else
            values[value++] = packed[i] | (((high >> ((i - 1) % 8)) & 1) ? 0x80 : 0);
    }
}
