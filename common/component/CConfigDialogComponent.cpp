#include "CConfigDialogComponent.h"
#include "CPanelLook.h"
#include "CFileUtil.h"
#include "CNVBPath.h"
#include "CProgNameTable.h"

// Layout of the settings block.
namespace
{
constexpr int kFontWholeByte = 4;
constexpr int kFontTenthsByte = 5;
constexpr int kWidthByte = 6;
constexpr int kHeightByte = 8;
constexpr int kShowHideBytes = 16; // column ids 3 to 26
constexpr int kWidthBytes = 40;    // column ids 1 to 26
constexpr int kFirstFlagColumnId = 3;

// The largest window size the two bytes (size / 10, size % 10) hold.
constexpr int kMaxStoredWindowSize = 255 * 10 + 9;

const char* const kSettingsFolderName = "KestrumQX";
const char* const kSettingsFileName = "setting.ksqc";


// The show/hide toggles in the order they are created; flag is the index of
// the toggle's live flag in m_bColumnVisible.
struct SToggleLayout
{
    const char* text;
    int x, y;
    int flag;
    juce::ToggleButton* CConfigDialogComponent::*member;
};

const SToggleLayout kToggleLayout[kShowHideFlagCount] = {
    {"PEDAL1", 30, 82, 0, &CConfigDialogComponent::m_pPedal1Toggle},
    {"Value", 40, 100, 1, &CConfigDialogComponent::m_pPedal1ValueToggle},
    {"PEDAL2", 30, 120, 2, &CConfigDialogComponent::m_pPedal2Toggle},
    {"Value", 40, 136, 3, &CConfigDialogComponent::m_pPedal2ValueToggle},
    {"GAIN", 125, 100, 5, &CConfigDialogComponent::m_pGainToggle},
    {"VOLUME", 125, 180, 6, &CConfigDialogComponent::m_pVolumeToggle},
    {"TREBLE", 125, 116, 7, &CConfigDialogComponent::m_pTrebleToggle},
    {"MIDDLE", 125, 132, 8, &CConfigDialogComponent::m_pMiddleToggle},
    {"BASS", 125, 148, 9, &CConfigDialogComponent::m_pBassToggle},
    {"PRESENCE", 125, 164, 10, &CConfigDialogComponent::m_pPresenceToggle},
    {"NR", 115, 220, 11, &CConfigDialogComponent::m_pNRToggle},
    {"CABINET", 115, 200, 12, &CConfigDialogComponent::m_pCabinetToggle},
    {"REVERB", 208, 224, 13, &CConfigDialogComponent::m_pReverbToggle},
    {"Level", 218, 240, 14, &CConfigDialogComponent::m_pReverbLevelToggle},
    {"MODULATION", 208, 82, 15, &CConfigDialogComponent::m_pModulationToggle},
    {"Depth", 218, 100, 16, &CConfigDialogComponent::m_pDepthToggle},
    {"Reso", 218, 116, 17, &CConfigDialogComponent::m_pResoToggle},
    {"Speed", 218, 132, 18, &CConfigDialogComponent::m_pSpeedToggle},
    {"DELAY", 208, 152, 19, &CConfigDialogComponent::m_pDelayToggle},
    {"Level", 218, 170, 20, &CConfigDialogComponent::m_pDelayLevelToggle},
    {"FBack", 218, 188, 21, &CConfigDialogComponent::m_pFBackToggle},
    {"Time", 218, 204, 22, &CConfigDialogComponent::m_pTimeToggle},
    {"EXPRESSOIN", 30, 240, 23, &CConfigDialogComponent::m_pExpressionToggle},
    {"AMP/PEDAL", 115, 82, 4, &CConfigDialogComponent::m_pAmpToggle}};
constexpr int kToggleWidth = 80;
constexpr int kToggleHeight = 22;

int showHideByteOfFlag(int flag) { return kShowHideBytes + CProgNameTable::sm_aiFlagColumnIds[flag] - kFirstFlagColumnId; }

juce::TextButton* makeButton(CConfigDialogComponent& panel, const juce::String& text)
{
    return CPanelLook::makeButton(panel, panel, text);
}
} // namespace

const unsigned char CConfigDialogComponent::ucInitConfigData[kConfigDataSize] = {
    'K', 'S', 'Q', 'C', 12, 6, 106, 2, 74, 8, 0, 0, 0, 0, 0, 0,
    // show/hide bytes of columns 3 to 26
    1, 0, 1, 0, 1, 1, 1, 1, 1, 0, 1, 1, 0, 1, 0, 0, 1, 1, 0, 0, 1, 1, 0, 1,
    // widths of columns 1 to 26
    30, 40, 69, 30, 75, 30, 129, 39, 39, 39, 39, 46, 39, 89, 28, 79, 33, 30, 60, 75, 28, 30, 60, 59, 28, 82};

CConfigDialogComponent::CConfigDialogComponent()
    : m_bColumnVisible(), m_ucConfigData(), m_ucSavedConfigData(), m_pProgNameTable(nullptr), m_dFontSize(0.0),
      m_iWindowWidth(0), m_iWindowHeight(0), m_pOKButton(nullptr), m_pFontSizeSlider(nullptr),
      m_pShowHideGroup(nullptr), m_pPedal1Toggle(nullptr), m_pPedal1ValueToggle(nullptr), m_pPedal2Toggle(nullptr),
      m_pPedal2ValueToggle(nullptr), m_pGainToggle(nullptr), m_pVolumeToggle(nullptr), m_pTrebleToggle(nullptr),
      m_pMiddleToggle(nullptr), m_pBassToggle(nullptr), m_pPresenceToggle(nullptr), m_pNRToggle(nullptr),
      m_pCabinetToggle(nullptr), m_pReverbToggle(nullptr), m_pReverbLevelToggle(nullptr),
      m_pModulationToggle(nullptr), m_pDepthToggle(nullptr), m_pResoToggle(nullptr), m_pDelayToggle(nullptr),
      m_pDelayLevelToggle(nullptr), m_pFBackToggle(nullptr), m_pExpressionToggle(nullptr), m_pAmpToggle(nullptr),
      m_pCancelButton(nullptr), m_pSpeedToggle(nullptr), m_pTimeToggle(nullptr)
{
    m_pOKButton = makeButton(*this, "OK");

    m_pFontSizeSlider = new juce::Slider("FontSizeSlider");
    addAndMakeVisible(m_pFontSizeSlider);
    m_pFontSizeSlider->setRange(7.0, 24.0, 0.2);
    m_pFontSizeSlider->setSliderStyle(juce::Slider::LinearHorizontal);
    m_pFontSizeSlider->setTextBoxStyle(juce::Slider::TextBoxLeft, false, 60, 20);
    m_pFontSizeSlider->addListener(this);

    m_pShowHideGroup = new juce::GroupComponent("new group", "Show/Hide");
    addAndMakeVisible(m_pShowHideGroup);
    m_pShowHideGroup->setTextLabelPosition(juce::Justification::centredLeft);

    for (const auto& t : kToggleLayout)
    {
        auto* toggle = new juce::ToggleButton("toggleButton");
        this->*t.member = toggle;
        addAndMakeVisible(toggle);
        toggle->setButtonText(t.text);
        toggle->addListener(this);
        toggle->setToggleState(true, juce::dontSendNotification);
    }

    m_pCancelButton = makeButton(*this, "Cancel");

    setSize(320, 320);

    // Until a settings block is applied (and also when the one read at start-up
    // is refused) the panel holds the defaults, its toggles agreeing with the
    // live flags. The slider stays at its lowest value until a block is
    // applied, as a block's font size below the slider's range keeps it there.
    initConfigParam();
    memcpy(m_ucSavedConfigData, ucInitConfigData, kConfigDataSize);
    m_dFontSize = ucInitConfigData[kFontWholeByte] + ucInitConfigData[kFontTenthsByte] * 0.1;
    m_iWindowWidth = ucInitConfigData[kWidthByte] * 10 + ucInitConfigData[kWidthByte + 1];
    m_iWindowHeight = ucInitConfigData[kHeightByte] * 10 + ucInitConfigData[kHeightByte + 1];
    applyShowHide(ucInitConfigData);
}

CConfigDialogComponent::~CConfigDialogComponent()
{
    auto destroy = [](auto*& child) {
        delete child;
        child = nullptr;
    };
    destroy(m_pOKButton);
    destroy(m_pFontSizeSlider);
    destroy(m_pShowHideGroup);
    destroy(m_pPedal1Toggle);
    destroy(m_pPedal1ValueToggle);
    destroy(m_pPedal2Toggle);
    destroy(m_pPedal2ValueToggle);
    destroy(m_pGainToggle);
    destroy(m_pVolumeToggle);
    destroy(m_pTrebleToggle);
    destroy(m_pMiddleToggle);
    destroy(m_pBassToggle);
    destroy(m_pPresenceToggle);
    destroy(m_pNRToggle);
    destroy(m_pCabinetToggle);
    destroy(m_pReverbToggle);
    destroy(m_pReverbLevelToggle);
    destroy(m_pModulationToggle);
    destroy(m_pDepthToggle);
    destroy(m_pResoToggle);
    destroy(m_pDelayToggle);
    destroy(m_pDelayLevelToggle);
    destroy(m_pFBackToggle);
    destroy(m_pExpressionToggle);
    destroy(m_pAmpToggle);
    destroy(m_pCancelButton);
    destroy(m_pSpeedToggle);
    destroy(m_pTimeToggle);
}

void CConfigDialogComponent::paint(juce::Graphics& g)
{
    CPanelLook::paintBackground(g, juce::Colour(0xffd8d8d8), 320, 320, {176.0f, 80.0f}, 5, {288.0f, 280.0f},
                                {248.0f, 216.0f});

    g.setColour(juce::Colours::black);
    g.setFont(juce::Font("Arial", 13.0f, juce::Font::plain));
    g.drawText("Font Size :", 32, 35, 56, 24, juce::Justification::centredLeft, true);

    g.setColour(juce::Colours::black);
    g.setFont(juce::Font("Arial", 15.0f, juce::Font::bold));
    g.drawText("Settings", 24, 13, 72, 24, juce::Justification::centredLeft, true);
}

bool CConfigDialogComponent::keyPressed(const juce::KeyPress&) { return false; }

void CConfigDialogComponent::resized()
{
    if (m_pOKButton == nullptr)
        return; // still being built
    m_pOKButton->setBounds(56, 280, 88, 24);
    m_pFontSizeSlider->setBounds(96, 35, 200, 24);
    m_pShowHideGroup->setBounds(16, 62, 288, 207);
    for (const auto& t : kToggleLayout)
        if (auto* toggle = this->*t.member)
            toggle->setBounds(t.x, t.y, kToggleWidth, kToggleHeight);
    if (m_pCancelButton != nullptr)
        m_pCancelButton->setBounds(168, 280, 88, 24);
}

void CConfigDialogComponent::buttonClicked(juce::Button* button)
{
    int flag = -1;
    for (const auto& t : kToggleLayout)
        if (button == this->*t.member)
            flag = t.flag;

    if (button == m_pOKButton)
    {
        writeConfigParam();
        juce::Desktop::getInstance().getAnimator().fadeOut(this, 100);
    }
    else if (flag >= 0)
    {
        // The click has already switched the toggle; the column follows it.
        m_bColumnVisible[flag] = button->getToggleState();
    }
    else if (button == m_pCancelButton)
    {
        memcpy(m_ucConfigData, m_ucSavedConfigData, kConfigDataSize);
        getConfigParam();
        juce::Desktop::getInstance().getAnimator().fadeOut(this, 100);
    }

    if (auto* parent = getParentComponent())
        parent->repaint();
}

void CConfigDialogComponent::sliderValueChanged(juce::Slider* slider)
{
    if (slider != m_pFontSizeSlider)
        return;
    m_dFontSize = slider->getValue();
    if (auto* parent = getParentComponent())
        parent->repaint();
}

void CConfigDialogComponent::setProgNameTable(CProgNameTable* p) { m_pProgNameTable = p; }

void CConfigDialogComponent::initConfigParam() { memcpy(m_ucConfigData, ucInitConfigData, kConfigDataSize); }

juce::ToggleButton* CConfigDialogComponent::toggleForFlag(int flag) const
{
    for (const auto& t : kToggleLayout)
        if (t.flag == flag)
            return this->*t.member;
    return nullptr;
}

void CConfigDialogComponent::applyShowHide(const unsigned char* block)
{
    for (int k = 0; k < kShowHideFlagCount; ++k)
    {
        const bool shown = block[showHideByteOfFlag(k)] != 0;
        if (auto* toggle = toggleForFlag(k))
            toggle->setToggleState(shown, juce::dontSendNotification);
        m_bColumnVisible[k] = shown;
    }
}

void CConfigDialogComponent::getConfigParam()
{
    if (memcmp(m_ucConfigData, "KSQC", 4) != 0)
        return;

    m_dFontSize = m_ucConfigData[kFontWholeByte] + m_ucConfigData[kFontTenthsByte] * 0.1;
    // The slider brings the value onto its range and grid, and when that
    // moves it, reports the new value back as the font size.
    m_pFontSizeSlider->setValue(m_dFontSize, juce::sendNotificationAsync);

    m_iWindowWidth = m_ucConfigData[kWidthByte] * 10 + m_ucConfigData[kWidthByte + 1];
    m_iWindowHeight = m_ucConfigData[kHeightByte] * 10 + m_ucConfigData[kHeightByte + 1];

    applyShowHide(m_ucConfigData);

    // The header keeps every width within the column's limits.
    if (m_pProgNameTable != nullptr)
        for (int id = 1; id <= kColumnCount; ++id)
            m_pProgNameTable->getHeader().setColumnWidth(id, m_ucConfigData[kWidthBytes + id - 1]);
}

void CConfigDialogComponent::updateConfigParam()
{
    memcpy(m_ucConfigData, "KSQC", 4);

    // Truncated to tenths; every size on the slider's grid and every size a
    // block can hold comes back as itself.
    const double fontSize = juce::jlimit(0.0, 255.9, m_dFontSize);
    const int tenths = (int) (fontSize * 10.0);
    m_ucConfigData[kFontWholeByte] = (unsigned char) (tenths / 10);
    m_ucConfigData[kFontTenthsByte] = (unsigned char) (tenths % 10);

    // A window too large for the two bytes is stored at the largest size
    // they hold, never wrapped round to a small one.
    const int width = juce::jlimit(0, kMaxStoredWindowSize, m_iWindowWidth);
    const int height = juce::jlimit(0, kMaxStoredWindowSize, m_iWindowHeight);
    m_ucConfigData[kWidthByte] = (unsigned char) (width / 10);
    m_ucConfigData[kWidthByte + 1] = (unsigned char) (width % 10);
    m_ucConfigData[kHeightByte] = (unsigned char) (height / 10);
    m_ucConfigData[kHeightByte + 1] = (unsigned char) (height % 10);

    for (int k = 0; k < kShowHideFlagCount; ++k)
        if (auto* toggle = toggleForFlag(k))
            m_ucConfigData[showHideByteOfFlag(k)] = toggle->getToggleState() ? 1 : 0;

    // Hidden columns keep the width stored before. A column wider than a
    // byte holds is stored at 255 rather than wrapped round to a narrow one.
    if (m_pProgNameTable == nullptr)
        return;
    auto& header = m_pProgNameTable->getHeader();
    const int shown = header.getNumColumns(true);
    for (int i = 0; i < shown; ++i)
    {
        const int id = header.getColumnIdOfIndex(i, true);
        const int w = header.getColumnPosition(i).getWidth();
        if (id >= 1 && id <= kColumnCount && w > 0)
            m_ucConfigData[kWidthBytes + id - 1] = (unsigned char) juce::jmin(w, 255);
    }
}

void CConfigDialogComponent::takeWindowSizeFromParent()
{
    // The parent is the content component, which fills the main window.
    if (getParentComponent() == nullptr)
        return;
    m_iWindowWidth = getParentWidth() + 2;
    m_iWindowHeight = getParentHeight() + 26;
}

void CConfigDialogComponent::pushConfigParam()
{
    takeWindowSizeFromParent();
    updateConfigParam();
    memcpy(m_ucSavedConfigData, m_ucConfigData, kConfigDataSize);
}

void CConfigDialogComponent::writeConfigParam()
{
    takeWindowSizeFromParent();
    updateConfigParam();
    // Never creates the settings file: that happens at start-up only.
    const juce::File file = getSettingsFile();
    if (file == juce::File() || !file.existsAsFile())
        return;
    writeSettingsFile(file, m_ucConfigData);
}

double CConfigDialogComponent::getTargetFontSize()
{
    if (m_dFontSize < 6.0 || m_dFontSize > 24.0)
        m_dFontSize = 12.0;
    return m_dFontSize;
}

juce::File CConfigDialogComponent::getSettingsFile()
{
    const juce::String folder = CNVBPath::GetApplicationDataPath(true, true, "", kSettingsFolderName);
    if (folder.isEmpty())
        return {};
    return juce::File(folder).getChildFile(kSettingsFileName);
}

bool CConfigDialogComponent::readSettingsFile(const juce::File& file, unsigned char* block)
{
    unsigned char data[kConfigDataSize];
    if (!CFileUtil::readWholeFile(file, data, kConfigDataSize))
        return false;
    memcpy(block, data, kConfigDataSize);
    return true;
}

bool CConfigDialogComponent::writeSettingsFile(const juce::File& file, const unsigned char* block)
{
    // Exactly one block, or the old file untouched: links are followed and a
    // file made read-only is left alone.
    return CFileUtil::writeWholeFile(file, block, (size_t) kConfigDataSize);
}
