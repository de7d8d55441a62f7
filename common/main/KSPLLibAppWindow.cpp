#include "KSPLLibAppWindow.h"
#include "CConfigDialogComponent.h"
#include "CDialogUtil.h"
#include "CProgNameTable.h"
#include "KSPLLibApp.h"
#include "KSPLLibComponent.h"
#include "MenuBarManager.h"

int KSPLLibAppWindow::menuBarHeight() { return KSQX_TARGET_MAC ? 1 : 24; }

KSPLLibAppWindow::KSPLLibAppWindow()
    : juce::DocumentWindow(kApplicationName, juce::Colours::darkgrey,
                           juce::DocumentWindow::allButtons, true),
      m_pProgNameTable(nullptr), m_pMainComponent(nullptr)
{
    setUsingNativeTitleBar(false);
    setTitleBarHeight(24);

    auto* content = new KSPLLibComponent();
    setContentOwned(content, false);

    int w = 1062;
    int h = 748;
    if (auto* config = content->getConfigDialogComponent())
    {
        w = config->m_iWindowWidth;
        h = config->m_iWindowHeight;
    }
    h += menuBarHeight();

    if (auto* display = juce::Desktop::getInstance().getDisplays().getPrimaryDisplay())
    {
        const auto area = display->userArea;
        if (w > area.getWidth())
            w = area.getWidth();
        if (h > area.getHeight())
            h = area.getHeight();
        centreWithSize(w, h);
    }
    else
        setSize(w, h); // no screen to centre on (the framework would crash trying)

    setResizable(true, true);
    setResizeLimits(320, 344, 2000, 2000);

    if (content->getApplicationCommandManager() != nullptr && content->getMenuBarManager() != nullptr)
        addKeyListener(content->getApplicationCommandManager()->getKeyMappings());

    setMenuBar(content->getMenuBarManager(), menuBarHeight());

    m_pMainComponent = content;
    m_pProgNameTable = content->getProgNameTable();
}

KSPLLibAppWindow::~KSPLLibAppWindow()
{
    // The content component stores its own size as the window size when it
    // goes: it must go while the menu bar still takes its place, or every
    // run would store a window one menu bar taller.
    m_pProgNameTable = nullptr;
    m_pMainComponent = nullptr;
    clearContentComponent();
    // The menu bar component is the window's; the model outlives it.
    setMenuBar(nullptr);
}

bool KSPLLibAppWindow::keyPressed(const juce::KeyPress& key)
{
    if (m_pProgNameTable != nullptr)
        m_pProgNameTable->keyPressed(key);
    return false;
}

void KSPLLibAppWindow::closeButtonPressed()
{
    if (CDialogUtil::askQuit())
        if (auto* app = juce::JUCEApplication::getInstance())
            app->systemRequestedQuit();
}
