#include "CMidiSetupComponent.h"
// Stub: replaced by the device link's implementation.
CMidiSetupComponent::CMidiSetupComponent()
    : m_iTxProgNo(0), m_bConnected(false), m_bTxAllProg(false), m_pActionManager(nullptr), m_ucRxProgData(),
      m_ucTxProgData(), m_pOKButton(nullptr), m_pMidiInDeviceCombo(nullptr), m_pMidiOutDeviceCombo(nullptr)
{ setSize(320, 170); }
CMidiSetupComponent::~CMidiSetupComponent() = default;
void CMidiSetupComponent::paint(juce::Graphics&) {}
bool CMidiSetupComponent::keyPressed(const juce::KeyPress&) { return false; }
void CMidiSetupComponent::resized() {}
void CMidiSetupComponent::handleIncomingMidiMessage(juce::MidiInput*, const juce::MidiMessage&) {}
void CMidiSetupComponent::buttonClicked(juce::Button*) {}
void CMidiSetupComponent::comboBoxChanged(juce::ComboBox*) {}
void CMidiSetupComponent::openMIDIPort() {}
void CMidiSetupComponent::sendDevInqRequest() {}
void CMidiSetupComponent::sendProgDumpRequest(int) {}
void CMidiSetupComponent::sendProgDumpOut(int, unsigned char*) {}
void CMidiSetupComponent::sendCurrentProg(unsigned char*) {}
void CMidiSetupComponent::startTxAllProg() {}
void CMidiSetupComponent::startRxAllProg() {}
int CMidiSetupComponent::preselectIndex(const juce::StringArray&) { return -1; }
void CMidiSetupComponent::setOutputSink(OutputSink s) { m_outputSink = std::move(s); }
bool CMidiSetupComponent::hasOutput() const { return false; }
void CMidiSetupComponent::sendSysEx(const unsigned char*, int) {}
