#include "CAboutDialogComponent.h"
// Stub: replaced by the about panel's implementation.
const unsigned char CAboutDialogComponent::logo_png[] = {0};
const int CAboutDialogComponent::logo_pngSize = 0;
CAboutDialogComponent::CAboutDialogComponent()
    : m_bConnected(false), m_pOKButton(nullptr), m_pTitleLabel(nullptr), m_pVersionLabel(nullptr),
      m_pConnectionLabel(nullptr), m_pLogoLink(nullptr) { setSize(240, 300); }
CAboutDialogComponent::~CAboutDialogComponent() = default;
void CAboutDialogComponent::paint(juce::Graphics&) {}
void CAboutDialogComponent::resized() {}
void CAboutDialogComponent::buttonClicked(juce::Button*) {}
