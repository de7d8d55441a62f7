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
// every byte on the wire stays below 0x80. The last group holds four values.
void CProgParamColumn::encodePackedData(const int* values, unsigned char* packed)
{
    for (int g = 0; g < 5; ++g)
    {
        const int count = juce::jmin(7, kProgParamCount - 7 * g);
        unsigned char high = 0;
        for (int j = 0; j < count; ++j)
        {
            const int b = values[7 * g + j] & 0xFF;
            high = (unsigned char) (high | ((b >> 7) << j));
            packed[8 * g + 1 + j] = (unsigned char) (b & 0x7F);
        }
        packed[8 * g] = high;
    }
}

// Takes every data byte whole: one that arrives with bit 7 set keeps it.
void CProgParamColumn::decodePackedData(const unsigned char* packed, int* values)
{
    for (int g = 0; g < 5; ++g)
    {
        const int count = juce::jmin(7, kProgParamCount - 7 * g);
        const int high = packed[8 * g];
        for (int j = 0; j < count; ++j)
            values[7 * g + j] = packed[8 * g + 1 + j] | (((high >> j) & 1) << 7);
    }
}
