#include "CAboutDialogComponent.h"
#include "CPanelLook.h"
#include "KsqxTexts.h"

namespace
{
const char* const kWebAddress = "https://www.orlan-audio.example/";

juce::Label* makeLabel(CAboutDialogComponent& panel, const juce::String& name, const juce::String& text,
                       float fontHeight)
{
    auto* label = new juce::Label(name, text);
    panel.addAndMakeVisible(label);
    label->setFont(juce::Font("Arial", fontHeight, juce::Font::plain));
    label->setJustificationType(juce::Justification::centred);
    label->setEditable(false, false, false);
    return label;
}
} // namespace

CAboutDialogComponent::CAboutDialogComponent()
    : m_bConnected(false), m_pOKButton(nullptr), m_pTitleLabel(nullptr), m_pVersionLabel(nullptr),
      m_pConnectionLabel(nullptr), m_pLogoLink(nullptr)
{
    m_pOKButton = CPanelLook::makeButton(*this, *this, "OK");

    m_pTitleLabel = makeLabel(*this, "labelTitle", "Kestrum QX Sound Librarian", 17.0f);
    m_pTitleLabel->setColour(juce::Label::textColourId, juce::Colour(0xff2f2f2f));

    // The version shown is set at the first paint.
    m_pVersionLabel = makeLabel(*this, "labelVersion", "version 0.0", 14.2f);
    m_pVersionLabel->setColour(juce::Label::textColourId, juce::Colour(0xff020202));

    // Black, as labels are by default in the classic look; the newer default
    // look would draw it white on the light panel.
    m_pConnectionLabel = makeLabel(*this, "labelConnection", "Target : Connected", 13.6f);
    m_pConnectionLabel->setColour(juce::Label::textColourId, juce::Colours::black);

    // An invisible link over the logo, so that a click on the logo opens the
    // web site.
    m_pLogoLink = new juce::HyperlinkButton("Orlan", juce::URL(kWebAddress));
    addAndMakeVisible(m_pLogoLink);
    m_pLogoLink->setTooltip(kWebAddress);
    m_pLogoLink->setColour(juce::HyperlinkButton::textColourId, juce::Colour(0x00b9b9b9));

    m_pLogoImage = juce::ImageCache::getFromMemory(logo_png, logo_pngSize);

    setSize(240, 300);
}

CAboutDialogComponent::~CAboutDialogComponent()
{
    auto destroy = [](auto*& child) {
        delete child;
        child = nullptr;
    };
    destroy(m_pOKButton);
    destroy(m_pTitleLabel);
    destroy(m_pVersionLabel);
    destroy(m_pConnectionLabel);
    destroy(m_pLogoLink);
    m_pLogoImage = juce::Image();
}

void CAboutDialogComponent::paint(juce::Graphics& g)
{
    CPanelLook::paintBackground(g, juce::Colours::white, 240, 300, {152.0f, 128.0f}, 5, {288.0f, 280.0f},
                                {248.0f, 216.0f});

    // Opaque, so the logo is drawn at full opacity in its own colours. An
    // image that did not decode is simply left out.
    g.setColour(juce::Colours::black);
    if (m_pLogoImage.isValid())
        g.drawImage(m_pLogoImage, 50, 26, 139, 54, 0, 0, m_pLogoImage.getWidth(), m_pLogoImage.getHeight(), false);

    m_pVersionLabel->setText(kApplicationVersion, juce::sendNotification);
    m_pConnectionLabel->setText(m_bConnected ? "Target : Connected" : "Target : Not Connected",
                                juce::sendNotification);
}

void CAboutDialogComponent::resized()
{
    if (m_pOKButton == nullptr)
        return; // still being built
    m_pOKButton->setBounds(72, 224, 96, 24);
    m_pTitleLabel->setBounds(16, 96, 208, 24);
    m_pVersionLabel->setBounds(72, 120, 96, 24);
    m_pConnectionLabel->setBounds(8, 168, 224, 24);
    m_pLogoLink->setBounds(48, 24, 144, 56);
}

void CAboutDialogComponent::buttonClicked(juce::Button* button)
{
    if (button == m_pOKButton)
        juce::Desktop::getInstance().getAnimator().fadeOut(this, 100);
}
