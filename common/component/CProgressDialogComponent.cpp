#include "CProgressDialogComponent.h"
// Stub: replaced by the progress panel's implementation.
CProgressDialogComponent::CProgressDialogComponent() : m_pTitleLabel(nullptr), m_pProgressBar(nullptr), m_dProgress(0.0) { setSize(240, 69); }
CProgressDialogComponent::~CProgressDialogComponent() = default;
void CProgressDialogComponent::paint(juce::Graphics&) {}
void CProgressDialogComponent::resized() {}
void CProgressDialogComponent::setProgress(double p) { m_dProgress = p; }
void CProgressDialogComponent::timerCallback() {}
