#include "CConfigDialogComponent.h"
// Stub: replaced by the settings' implementation.
const unsigned char CConfigDialogComponent::ucInitConfigData[kConfigDataSize] = {
    'K', 'S', 'Q', 'C', 12, 6, 106, 2, 74, 8, 0, 0, 0, 0, 0, 0,
    // show/hide bytes of columns 3 to 26
    1, 0, 1, 0, 1, 1, 1, 1, 1, 0, 1, 1, 0, 1, 0, 0, 1, 1, 0, 0, 1, 1, 0, 1,
    // widths of columns 1 to 26
    30, 40, 69, 30, 75, 30, 129, 39, 39, 39, 39, 46, 39, 89, 28, 79, 33, 30, 60, 75, 28, 30, 60, 59, 28, 82};
CConfigDialogComponent::CConfigDialogComponent()
    : m_bColumnVisible(), m_ucConfigData(), m_ucSavedConfigData(), m_pProgNameTable(nullptr), m_dFontSize(12.6),
      m_iWindowWidth(1062), m_iWindowHeight(748), m_pOKButton(nullptr), m_pFontSizeSlider(nullptr),
      m_pShowHideGroup(nullptr), m_pPedal1Toggle(nullptr), m_pPedal1ValueToggle(nullptr), m_pPedal2Toggle(nullptr),
      m_pPedal2ValueToggle(nullptr), m_pGainToggle(nullptr), m_pVolumeToggle(nullptr), m_pTrebleToggle(nullptr),
      m_pMiddleToggle(nullptr), m_pBassToggle(nullptr), m_pPresenceToggle(nullptr), m_pNRToggle(nullptr),
      m_pCabinetToggle(nullptr), m_pReverbToggle(nullptr), m_pReverbLevelToggle(nullptr),
      m_pModulationToggle(nullptr), m_pDepthToggle(nullptr), m_pResoToggle(nullptr), m_pDelayToggle(nullptr),
      m_pDelayLevelToggle(nullptr), m_pFBackToggle(nullptr), m_pExpressionToggle(nullptr), m_pAmpToggle(nullptr),
      m_pCancelButton(nullptr), m_pSpeedToggle(nullptr), m_pTimeToggle(nullptr)
{
    // Until the settings block is applied, the live settings are the defaults.
    const int flagColumnIds[24] = {3, 4, 5, 6, 7, 8, 13, 9, 10, 11, 12, 15, 14, 24, 25, 16, 17, 18, 19, 20, 21, 22, 23, 26};
    for (int k = 0; k < 24; ++k)
        m_bColumnVisible[k] = ucInitConfigData[16 + flagColumnIds[k] - 3] != 0;
    setSize(320, 320);
}
CConfigDialogComponent::~CConfigDialogComponent() = default;
void CConfigDialogComponent::paint(juce::Graphics&) {}
bool CConfigDialogComponent::keyPressed(const juce::KeyPress&) { return false; }
void CConfigDialogComponent::resized() {}
void CConfigDialogComponent::buttonClicked(juce::Button*) {}
void CConfigDialogComponent::sliderValueChanged(juce::Slider*) {}
void CConfigDialogComponent::setProgNameTable(CProgNameTable* p) { m_pProgNameTable = p; }
void CConfigDialogComponent::initConfigParam() { memcpy(m_ucConfigData, ucInitConfigData, kConfigDataSize); }
void CConfigDialogComponent::getConfigParam() {}
void CConfigDialogComponent::updateConfigParam() {}
void CConfigDialogComponent::pushConfigParam() {}
void CConfigDialogComponent::writeConfigParam() {}
double CConfigDialogComponent::getTargetFontSize() { return m_dFontSize; }
