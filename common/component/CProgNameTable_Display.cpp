#include "CProgNameTable.h"
#include "CConfigDialogComponent.h"
#include "CDispUtil.h"
#include "CProgCellDisplay.h"

namespace
{
// The effect on/off flags of a record, by index into m_bFxOnOff.
enum EEffect
{
    kPedal1 = 0,
    kPedal2 = 1,
    kAmp = 2,
    kCabinet = 3,
    kModulation = 4,
    kDelay = 5,
    kReverb = 6,
    kNoEffect = -1
};

const juce::String kNoneText(" --- ");

// Row backgrounds: the user area, then one shade per opened library file (all
// files after the second share the last shade).
const juce::Colour kUserRowColour(0xff303030);
const juce::Colour kSelectedTextColour(0xff303030);
const float kDimmedAlpha = 0.3f;
const float kSeparatorAlpha = 0.2f;

// The font size while the table has no settings panel yet.
const double kDefaultFontSize = 12.6;

juce::Colour rowColour(int row)
{
    if (row < 100)
        return kUserRowColour;
    if (row < 200)
        return juce::Colours::darkgrey;
    if (row < 300)
        return juce::Colours::dimgrey;
    return juce::Colours::grey;
}

bool isOff(const CProgParamColumn& record, int effect)
{
    return effect != kNoEffect && !record.m_bFxOnOff[effect];
}

juce::String speedText(int modType, int word)
{
    switch (modType)
    {
        case 7: return kNoneText;
        case 8: return CDispUtil::getDispPitchShift(word);
        case 9: return CDispUtil::getDispFiltron(word);
        case 10: return CDispUtil::getDispTalkMod(word);
        default: return CDispUtil::getDispSpeed(word);
    }
}

// The expression column: the target selects which effect's type is passed on
// and which effect's flag dims the text.
SCellContent expressionContent(const CProgParamColumn& record)
{
    const int target = record.getProgParam(26);
    int type = 0;
    int effect = kNoEffect;
    switch (target)
    {
        case 4: type = record.getProgParam(1); effect = kPedal1; break;
        case 8: type = record.getProgParam(3); effect = kPedal2; break;
        case 12: effect = kAmp; break;
        case 16: case 17: case 18: type = record.getProgParam(16); effect = kModulation; break;
        case 20: case 21: type = record.getProgParam(21); effect = kDelay; break;
        case 24: effect = kReverb; break;
        default: break;
    }
    SCellContent content;
    content.text = CDispUtil::getDispExpTarget(target, type);
    content.dimmed = isOff(record, effect) || content.text == kNoneText;
    return content;
}

// Draws a cell's text with the pixels of Graphics::drawText (left, vertically
// centred, an ellipsis when too long) but without drawText's cache of laid-out
// texts: one screen of the table holds far more distinct cell texts than that
// cache keeps, so its lookups missed and cost more than a fresh layout.
void drawCellText(juce::Graphics& g, const juce::String& text, int x, int width, int height)
{
    if (text.isEmpty())
        return;
    juce::GlyphArrangement arrangement;
    arrangement.addCurtailedLineOfText(g.getCurrentFont(), text, 0.0f, 0.0f, (float) width, true);
    arrangement.justifyGlyphs(0, arrangement.getNumGlyphs(), (float) x, 0.0f, (float) width, (float) height,
                              juce::Justification::centredLeft);
    arrangement.draw(g);
}

bool heightsNeedChange(double fontSize, double rowHeight)
{
    return fontSize - 1.5 > rowHeight || rowHeight > fontSize + 2.5;
}
} // namespace

juce::String CProgCellDisplay::getProgramLabel(const CProgParamColumn& record)
{
    juce::String label = record.getFileName();
    if (label.isNotEmpty())
        label << "_";
    const int number = record.m_iOrigProgNo;
    if ((unsigned int) number <= 99)
        label << juce::String::formatted("%02d-%d", number / 4 + 1, number % 4 + 1);
    else
        label << "---";
    return label;
}

SCellContent CProgCellDisplay::getCellContent(const CProgParamColumn& record, int row, int columnId)
{
    auto value = [&record](int index) { return record.getProgParam(index); };
    auto make = [&record](juce::String text, int effect) { return SCellContent{std::move(text), isOff(record, effect)}; };

    switch (columnId)
    {
        case 1: return make(juce::String::formatted("%03d", row), kNoEffect);
        case 2: return make(getProgramLabel(record), kNoEffect);
        case 3: return make(CDispUtil::getDispPdl1Type(value(1)), kPedal1);
        case 4: return make(juce::String(value(2)), kPedal1);
        case 5: return make(CDispUtil::getDispPdl2Type(value(3)), kPedal2);
        case 6: return make(CDispUtil::getDispValue(value(4)), kPedal2);
        case 7: return make(CDispUtil::getDispAmpType(value(5)), kAmp);
        case 8: return make(CDispUtil::getDispValue(value(6)), kAmp);
        case 9: return make(CDispUtil::getDispValue(value(8)), kAmp);
        case 10: return make(CDispUtil::getDispValue(value(9)), kAmp);
        case 11: return make(CDispUtil::getDispValue(value(10)), kAmp);
        case 12: return make(CDispUtil::getDispValue(value(11)), kAmp);
        case 13: return make(CDispUtil::getDispValue(value(7)), kNoEffect);
        case 14: return make(CDispUtil::getDispCabType(value(13)), kCabinet);
        case 15: return make(CDispUtil::getDispNRValue(value(12)), kNoEffect);
        case 16: return make(CDispUtil::getDispModType(value(16)), kModulation);
        case 17: return make(CDispUtil::getDispValue(value(17)), kModulation);
        case 18:
        {
            // Only the filter sweep and talk types have a resonance.
            const int type = value(16);
            return make((type == 9 || type == 10) ? CDispUtil::getDispValue(value(18)) : kNoneText, kModulation);
        }
        case 19: return make(speedText(value(16), value(20) * 256 + value(19)), kModulation);
        case 20: return make(CDispUtil::getDispDlyType(value(21)), kDelay);
        case 21: return make(juce::String(value(22)), kDelay);
        case 22: return make(CDispUtil::getDispValue(value(23)), kDelay);
        case 23: return make(CDispUtil::getDispDlyTime(value(25) * 256 + value(24)), kDelay);
        case 24: return make(CDispUtil::getDispRevType(value(14)), kReverb);
        case 25: return make(juce::String(value(15)), kReverb);
        case 26: return expressionContent(record);
        default: return make({}, kNoEffect);
    }
}

bool CProgCellDisplay::getAmpDotColour(int ampType, juce::Colour& colour)
{
    if (ampType > 32)
        return false;
    if (ampType <= 10)
        colour = juce::Colours::yellowgreen;
    else if (ampType <= 21)
        colour = juce::Colours::orange;
    else
        colour = juce::Colours::red;
    return true;
}

void CProgNameTable::paintRowBackground(juce::Graphics& g, int rowNumber, int, int, bool rowIsSelected)
{
    g.fillAll(rowColour(rowNumber));
    if (rowIsSelected)
    {
        g.fillAll(juce::Colours::goldenrod);
        m_bCutEnable = true;
    }
}

void CProgNameTable::paintCell(juce::Graphics& g, int rowNumber, int columnId, int width, int height,
                               bool rowIsSelected)
{
    const juce::Colour textColour = rowIsSelected ? kSelectedTextColour : juce::Colours::beige;
    const juce::Colour dimmedColour = textColour.withAlpha(kDimmedAlpha);
    g.setColour(textColour);

    const double fontSize =
        m_pConfigDialogComponent != nullptr ? m_pConfigDialogComponent->getTargetFontSize() : kDefaultFontSize;
    if (m_fCellFontSize != (float) fontSize)
    {
        m_fCellFontSize = (float) fontSize;
        m_cellFont = juce::Font(m_fCellFontSize, juce::Font::plain);
    }
    g.setFont(m_cellFont);

    // Row height, header height and column visibility rebuild row components,
    // the one being painted among them: apply them after this paint.
    if (m_pConfigDialogComponent != nullptr && !isColumnStatusApplied(*m_pConfigDialogComponent))
        triggerAsyncUpdate();

    if (const CProgParamColumn* record = m_aProgList[rowNumber])
    {
        const SCellContent content = CProgCellDisplay::getCellContent(*record, rowNumber, columnId);
        int textX = 2;
        if (columnId == 7)
        {
            juce::Colour dot;
            if (CProgCellDisplay::getAmpDotColour(record->getProgParam(5), dot))
            {
                const float size = (float) height * 0.5f;
                g.setColour(content.dimmed ? dot.withAlpha(kDimmedAlpha) : dot);
                g.fillEllipse(5.0f, 2.0f, size, size);
            }
            // Clear of the dot; a long name runs on to the clipped edge.
            textX = 16;
        }
        g.setColour(content.dimmed ? dimmedColour : textColour);
        drawCellText(g, content.text, textX, width - 4, height);
    }

    g.setColour(juce::Colours::black.withAlpha(kSeparatorAlpha));
    g.fillRect(width - 1, 0, 1, height);
}

void CProgNameTable::updateColumnStatus(CConfigDialogComponent* config)
{
    if (config == nullptr)
        return;

    const double fontSize = config->getTargetFontSize();
    if (heightsNeedChange(fontSize, (double) getRowHeight()))
    {
        setRowHeight((int) (fontSize + 2.0));
        setHeaderHeight((int) (fontSize + 10.0));
    }

    auto& header = getHeader();
    for (int k = 0; k < kShowHideFlagCount; ++k)
        header.setColumnVisible(sm_aiFlagColumnIds[k], config->m_bColumnVisible[k] != 0);

    m_dAppliedFontSize = fontSize;
    std::copy(std::begin(config->m_bColumnVisible), std::end(config->m_bColumnVisible), m_abAppliedColumnVisible);
    m_bColumnStatusApplied = true;
}

bool CProgNameTable::isColumnStatusApplied(CConfigDialogComponent& config) const
{
    return m_bColumnStatusApplied && config.getTargetFontSize() == m_dAppliedFontSize
           && std::equal(std::begin(config.m_bColumnVisible), std::end(config.m_bColumnVisible),
                         m_abAppliedColumnVisible);
}

void CProgNameTable::handleAsyncUpdate() { updateColumnStatus(m_pConfigDialogComponent); }
