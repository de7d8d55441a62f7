#include "CConfigDialogComponent.h"
// Stub: replaced by the settings' implementation.
const unsigned char CConfigDialogComponent::ucInitConfigData[kConfigDataSize] = {'K', 'S', 'Q', 'C', 12, 6, 106, 2, 74, 8};
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
{ setSize(320, 320); }
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
