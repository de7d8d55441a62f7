#include "DataFolderRedirect.h"
#include "TestSupport.h"
#include <gtest/gtest.h>

#if KSQX_TARGET_MAC
 #include "MacUserLayer.h"
#elif !defined(_WIN32)
 #include "WinShellLayer.h"
#endif

struct ScopedDataFolder::Saved
{
#if KSQX_TARGET_MAC
    MacLayer::TestHooks hooks;
#elif !defined(_WIN32)
    WinShellLayer::TestHooks hooks;
#endif
};

ScopedDataFolder::ScopedDataFolder(const juce::File& base) : m_saved(new Saved), m_base(base)
{
#if KSQX_TARGET_MAC
    m_saved->hooks = MacLayer::testHooks();
    auto& hooks = MacLayer::testHooks();
    hooks.root = base.getFullPathName().toStdString();
    hooks.userName = [] { return "tester"; };
    hooks.mkdirObserver = nullptr;
#elif !defined(_WIN32)
    m_saved->hooks = WinShellLayer::testHooks();
    auto& hooks = WinShellLayer::testHooks();
    hooks.folderFor = [base](int csidl, bool) {
        if (csidl == CSIDL_APPDATA)
            return base.getChildFile("AppData/Roaming");
        if (csidl == CSIDL_COMMON_APPDATA)
            return base.getChildFile("ProgramData");
        return juce::File();
    };
    hooks.mkdirObserver = nullptr;
#endif
}

ScopedDataFolder::~ScopedDataFolder()
{
#if KSQX_TARGET_MAC
    MacLayer::testHooks() = m_saved->hooks;
#elif !defined(_WIN32)
    WinShellLayer::testHooks() = m_saved->hooks;
#endif
}

juce::File ScopedDataFolder::dataFolder() const
{
#if KSQX_TARGET_MAC
    return m_base.getChildFile("Users/tester/Library/Application Support/KestrumQX");
#else
    return m_base.getChildFile("AppData/Roaming/KestrumQX");
#endif
}

namespace
{
// The redirection for the whole run, below the tests' temporary folder.
class DataFolderEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        m_temp = std::make_unique<TempFolder>();
        m_redirect = std::make_unique<ScopedDataFolder>(m_temp->get());
    }
    void TearDown() override
    {
        m_redirect.reset();
        m_temp.reset();
    }

private:
    std::unique_ptr<TempFolder> m_temp;
    std::unique_ptr<ScopedDataFolder> m_redirect;
};

::testing::Environment* const dataFolderEnvironment =
    ::testing::AddGlobalTestEnvironment(new DataFolderEnvironment);
} // namespace
