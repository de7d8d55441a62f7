#pragma once
#include "KsqxJuce.h"

class CProgNameTable;
class KSPLLibComponent;

// The program's only top-level window.
class KSPLLibAppWindow : public juce::DocumentWindow
{
public:
    KSPLLibAppWindow();
    ~KSPLLibAppWindow() override;

    bool keyPressed(const juce::KeyPress& key) override;
    void closeButtonPressed() override;

    // The in-window menu bar's height: 1 on the macOS program, 24 on Windows.
    static int menuBarHeight();

    CProgNameTable* m_pProgNameTable;
    KSPLLibComponent* m_pMainComponent;

private:
    JUCE_DECLARE_NON_COPYABLE(KSPLLibAppWindow)
};
