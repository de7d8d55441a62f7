#pragma once
#include "KsqxJuce.h"

class CProgNameTable;

constexpr int kConfigDataSize = 66;

// The settings panel, and the holder of the settings block with the
// operations that load, apply, update and write it.
class CConfigDialogComponent : public juce::Component,
                               public juce::Button::Listener,
                               public juce::Slider::Listener
{
public:
    CConfigDialogComponent();
    ~CConfigDialogComponent() override;

    void paint(juce::Graphics& g) override;
    bool keyPressed(const juce::KeyPress& key) override;
    void resized() override;
    void buttonClicked(juce::Button* button) override;
    void sliderValueChanged(juce::Slider* slider) override;

    // The settings block.
    void setProgNameTable(CProgNameTable* p);
    void initConfigParam();
    void getConfigParam();
    void updateConfigParam();
    void pushConfigParam();
    void writeConfigParam();
    double getTargetFontSize();

    // The settings file: "setting.ksqc" in the user's data folder (which is
    // created when missing); juce::File() when the system gives no data
    // folder, in which case no settings file is read or written.
    static juce::File getSettingsFile();
    // Reads the settings block from file into block when the file holds
    // exactly kConfigDataSize bytes; otherwise leaves block alone and returns
    // false.
    static bool readSettingsFile(const juce::File& file, unsigned char* block);
    // Replaces file with the kConfigDataSize bytes of block (creating it when
    // missing). The old file stays as it was unless the new one was written
    // completely; returns false then.
    static bool writeSettingsFile(const juce::File& file, const unsigned char* block);

    // The default settings block.
    static const unsigned char ucInitConfigData[kConfigDataSize];

    bool m_bColumnVisible[24];
    unsigned char m_ucConfigData[kConfigDataSize];
    unsigned char m_ucSavedConfigData[kConfigDataSize];
    CProgNameTable* m_pProgNameTable;
    double m_dFontSize;
    int m_iWindowWidth;
    int m_iWindowHeight;

    juce::TextButton* m_pOKButton;
    juce::Slider* m_pFontSizeSlider;
    juce::GroupComponent* m_pShowHideGroup;
    juce::ToggleButton* m_pPedal1Toggle;
    juce::ToggleButton* m_pPedal1ValueToggle;
    juce::ToggleButton* m_pPedal2Toggle;
    juce::ToggleButton* m_pPedal2ValueToggle;
    juce::ToggleButton* m_pGainToggle;
    juce::ToggleButton* m_pVolumeToggle;
    juce::ToggleButton* m_pTrebleToggle;
    juce::ToggleButton* m_pMiddleToggle;
    juce::ToggleButton* m_pBassToggle;
    juce::ToggleButton* m_pPresenceToggle;
    juce::ToggleButton* m_pNRToggle;
    juce::ToggleButton* m_pCabinetToggle;
    juce::ToggleButton* m_pReverbToggle;
    juce::ToggleButton* m_pReverbLevelToggle;
    juce::ToggleButton* m_pModulationToggle;
    juce::ToggleButton* m_pDepthToggle;
    juce::ToggleButton* m_pResoToggle;
    juce::ToggleButton* m_pDelayToggle;
    juce::ToggleButton* m_pDelayLevelToggle;
    juce::ToggleButton* m_pFBackToggle;
    juce::ToggleButton* m_pExpressionToggle;
    juce::ToggleButton* m_pAmpToggle;
    juce::TextButton* m_pCancelButton;
    juce::ToggleButton* m_pSpeedToggle;
    juce::ToggleButton* m_pTimeToggle;

private:
    juce::ToggleButton* toggleForFlag(int flag) const;
    void applyShowHide(const unsigned char* block);
    void takeWindowSizeFromParent();

    JUCE_DECLARE_NON_COPYABLE(CConfigDialogComponent)
};
