// Closing a panel fades it out on screen: a press of About's, MIDI Setup's or
// Settings' OK, of Settings' Cancel, and the progress panel's own end after
// 100 %. The framework fades only a panel that is showing, through an image
// of it (a proxy) in the panel's parent, while the panel itself is hidden at
// once; so these tests build the program's main window on an X display and
// watch the panel and its parent at the moment the panel is hidden and until
// the fade lets go of it. The display is an Xvfb of the test's own. ctest
// runs these in a process of their own: the framework connects to a display
// once, when it first needs one.
#include "ActionManager.h"
#include "CAboutDialogComponent.h"
#include "CConfigDialogComponent.h"
#include "CMidiSetupComponent.h"
#include "CProgressDialogComponent.h"
#include "DataFolderRedirect.h"
#include "KSPLLibAppWindow.h"
#include "KSPLLibComponent.h"
#include "TestSupport.h"
#include <gtest/gtest.h>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{
// Starts a program of the test's own, its output dropped, with `fd3` (when
// not -1) as its descriptor 3; it is killed when the test process dies.
pid_t startOwn(const char* path, std::vector<const char*> argv, int fd3 = -1)
{
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0)
    {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::dup2(null, 2);
        if (fd3 >= 0)
            ::dup2(fd3, 3);
        ::closefrom(fd3 >= 0 ? 4 : 3);
        ::execv(path, const_cast<char* const*>(argv.data()));
        ::_exit(127);
    }
    return pid;
}

void stopOwn(pid_t pid)
{
    if (pid <= 0)
        return;
    ::kill(pid, SIGTERM);
    int status = 0;
    for (int i = 0; i < 100 && ::waitpid(pid, &status, WNOHANG) == 0; ++i)
        ::usleep(50000);
    if (::waitpid(pid, &status, WNOHANG) == 0)
    {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
    }
}

// An X server with a window manager for this process, as the program runs
// (the framework names window properties by atoms that a window manager
// makes): started once, ended when the process ends.
class OwnDisplay
{
public:
    // The display's name, or an empty string with the reason in `error`.
    static std::string name(std::string& error)
    {
        static OwnDisplay display;
        error = display.m_error;
        return display.m_name;
    }

private:
    OwnDisplay()
    {
        std::atexit(stop);
        const std::string name = startServer();
        if (name.empty())
            return;

        ::setenv("DISPLAY", name.c_str(), 1);
        s_manager = startOwn("/usr/bin/openbox", {"openbox"});
        const std::string check = "xprop -display " + name + " -root _NET_SUPPORTING_WM_CHECK 2>/dev/null";
        int status = 0;
        bool managerEnded = false;
        const bool managed = pumpUntil(
            [&] {
                managerEnded = managerEnded || ::waitpid(s_manager, &status, WNOHANG) == s_manager;
                return managerEnded || commandSays(check, "window id");
            },
            30000);
        if (!managed || managerEnded)
        {
            m_error = "openbox (/usr/bin/openbox) did not take the display " + name
                      + (managerEnded ? ": it ended with status " + std::to_string(status) : " within 30 s");
            if (managerEnded)
                s_manager = -1;
            return;
        }
        m_name = name;
    }

    // Xvfb on a free display number, never :0: a process without DISPLAY
    // connects there. Xvfb writes its number to
    // descriptor 3 once it takes connections. Without -noreset it would
    // reset whenever its last client leaves, and a window manager connecting
    // just then is lost. The display's name, or "" with m_error set.
    std::string startServer()
    {
        for (int n = 150; n < 250; ++n)
        {
            const std::string number = std::to_string(n);
            if (::access(("/tmp/.X11-unix/X" + number).c_str(), F_OK) == 0
                || ::access(("/tmp/.X" + number + "-lock").c_str(), F_OK) == 0)
                continue;
            int ready[2];
            if (::pipe2(ready, O_CLOEXEC) != 0)
                break;
            const std::string display = ":" + number;
            s_server = startOwn("/usr/bin/Xvfb",
                                {"Xvfb", display.c_str(), "-displayfd", "3", "-screen", "0", "1280x1024x24", "-nolisten",
                                 "tcp", "-noreset"},
                                ready[1]);
            ::close(ready[1]);
            std::string said;
            const auto end = juce::Time::getMillisecondCounter() + 30000u;
            while (s_server > 0 && (said.empty() || said.back() != '\n'))
            {
                const auto now = juce::Time::getMillisecondCounter();
                pollfd p {ready[0], POLLIN, 0};
                char c = 0;
                // A server that could not take the number ends: the pipe closes.
                if (now >= end || ::poll(&p, 1, (int) (end - now)) <= 0 || ::read(ready[0], &c, 1) != 1)
                    break;
                said += c;
            }
            ::close(ready[0]);
            if (said == number + "\n")
                return display;
            stopOwn(s_server);
            s_server = -1;
        }
        m_error = "Xvfb (/usr/bin/Xvfb, package xvfb) took none of the displays :150 to :249 within 30 s each";
        return {};
    }

    static bool commandSays(const std::string& command, const char* text)
    {
        std::string out;
        if (FILE* f = ::popen(command.c_str(), "r"))
        {
            char buffer[256];
            while (std::fgets(buffer, sizeof(buffer), f) != nullptr)
                out += buffer;
            ::pclose(f);
        }
        return out.find(text) != std::string::npos;
    }

    // After the framework has shut down and closed its connection.
    static void stop()
    {
        stopOwn(s_manager);
        stopOwn(s_server);
        s_manager = s_server = -1;
    }

    static inline pid_t s_server = -1, s_manager = -1;
    std::string m_name, m_error;
};

juce::ComponentAnimator& animator() { return juce::Desktop::getInstance().getAnimator(); }

// What the close looked like: taken the moment the panel is hidden, and when
// the animator lets go of the panel.
struct CloseWatch : juce::ComponentListener
{
    CloseWatch(juce::Component& panel, std::function<juce::Component*()> proxy) : m_panel(panel), m_proxy(std::move(proxy))
    {
        m_panel.addComponentListener(this);
    }
    ~CloseWatch() override { m_panel.removeComponentListener(this); }

    void componentVisibilityChanged(juce::Component& c) override
    {
        if (c.isVisible() || hidden)
            return;
        hidden = true;
        hiddenAt = juce::Time::getMillisecondCounter();
        fadingAtHide = animator().isAnimating(&c);
        windowShowingAtHide = c.getParentComponent() != nullptr && c.getParentComponent()->isShowing();
        if (auto* proxy = m_proxy())
            proxyAlphaAtHide = proxy->getAlpha();
        if (!fadingAtHide) // where from, for addr2line
            whoHid = juce::StringArray::fromLines(juce::SystemStats::getStackBacktrace())
                         .joinIntoString("\n", 1, 12);
    }

    juce::Component& m_panel;
    std::function<juce::Component*()> m_proxy;
    bool hidden = false, fadingAtHide = false, windowShowingAtHide = false;
    juce::String whoHid;
    float proxyAlphaAtHide = -1.0f; // -1: no proxy
    juce::uint32 hiddenAt = 0;
};

// The program's main window on the test's display, with its content.
class PanelFade : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_FALSE(OwnDisplay::name(error).empty()) << error;
        m_window = std::make_unique<KSPLLibAppWindow>();
        m_window->setVisible(true);
        m_content = m_window->m_pMainComponent;
        ASSERT_NE(m_content, nullptr);
        ASSERT_TRUE(m_content->isShowing())
            << "the window is not on a display: the framework's windowing was set up before the test's display";
        for (auto* child : m_content->getChildren())
            m_programChildren.push_back(child);
    }
    void TearDown() override
    {
        animator().cancelAllAnimations(false);
        m_window.reset();
        m_cwd.setAsCurrentWorkingDirectory();
    }

    // A child of the content that the program did not put there and that
    // covers the panel: the framework's image of a fading panel.
    juce::Component* proxyOf(juce::Component& panel) const
    {
        for (auto* child : m_content->getChildren())
            if (std::find(m_programChildren.begin(), m_programChildren.end(), child) == m_programChildren.end()
                && child->isVisible() && child->getBounds() == panel.getBounds())
                return child;
        return nullptr;
    }
    int extraChildren() const { return m_content->getNumChildComponents() - (int) m_programChildren.size(); }

    TempFolder m_tmp;
    ScopedDataFolder m_data {m_tmp.get()};
    BoxRecorder m_boxes;
    juce::File m_cwd = juce::File::getCurrentWorkingDirectory();
    std::unique_ptr<KSPLLibAppWindow> m_window;
    KSPLLibComponent* m_content = nullptr;
    std::vector<juce::Component*> m_programChildren;
};
} // namespace

TEST_F(PanelFade, EveryCloseFadesTheShownPanelOutOverAbout100msAndItComesBackOpaque)
{
    ActionManager& actions = *m_content->getActionManager();
    CAboutDialogComponent& about = *m_content->getAboutDialogComponent();
    CMidiSetupComponent& midi = *m_content->getMidiSetupComponent();
    CConfigDialogComponent& settings = *m_content->getConfigDialogComponent();
    CProgressDialogComponent& progress = *m_content->getProgressDialogComponent();
    struct Case
    {
        const char* what;
        juce::Component& panel;
        std::function<void()> open, close;
    };
    const Case cases[] = {
        {"About's OK", about, [&] { actions.OpenAboutDialog(); }, [&] { about.m_pOKButton->triggerClick(); }},
        {"MIDI Setup's OK", midi, [&] { actions.OpenMidiSetupDialog(); }, [&] { midi.m_pOKButton->triggerClick(); }},
        {"Settings' OK", settings, [&] { actions.OpenConfigDialog(); }, [&] { settings.m_pOKButton->triggerClick(); }},
        {"Settings' Cancel", settings, [&] { actions.OpenConfigDialog(); },
         [&] { settings.m_pCancelButton->triggerClick(); }},
        // The panel closes by itself half a second after the last report.
        {"the progress panel at 100 %", progress, [&] { actions.OpenProgressDialog(); },
         [&] { actions.updateProgress(100); }},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        std::unique_ptr<CloseWatch> watch;
        // Only a panel on screen fades: a close at a moment when the window
        // manager has the window off the screen is tried again.
        for (int attempt = 0; attempt < 3; ++attempt)
        {
            c.open();
            ASSERT_TRUE(c.panel.isShowing());
            watch = std::make_unique<CloseWatch>(c.panel, [&] { return proxyOf(c.panel); });
            c.close();
            ASSERT_TRUE(pumpUntil([&] { return watch->hidden; }, 5000)) << "the panel did not close";
            if (watch->fadingAtHide || watch->windowShowingAtHide)
                break;
            std::fprintf(stderr, "%s: the window was off the screen when the panel closed; again\n", c.what);
            c.panel.setVisible(false);
        }

        // Hidden at once, the framework's image of it fading in its place.
        EXPECT_TRUE(watch->fadingAtHide) << "hidden without a fade"
                                         << (watch->windowShowingAtHide ? "" : " (the window off the screen)") << ", by:\n"
                                         << watch->whoHid;
        EXPECT_EQ(watch->proxyAlphaAtHide, 1.0f) << "no opaque image of the panel where it was";
        ASSERT_TRUE(pumpUntil([&] { return !animator().isAnimating(&c.panel); }, 5000)) << "the fade never ended";
        const juce::uint32 fadeMs = juce::Time::getMillisecondCounter() - watch->hiddenAt;
        // The animator's 50 Hz steps may end it one step early.
        EXPECT_GE(fadeMs, 80u) << "the fade ended too soon";
        EXPECT_FALSE(c.panel.isVisible());
        EXPECT_EQ(extraChildren(), 0) << "the image of the panel stayed";

        c.open();
        EXPECT_TRUE(c.panel.isVisible());
        EXPECT_EQ(c.panel.getAlpha(), 1.0f) << "shown again after the fade, the panel must be opaque";
        c.panel.setVisible(false);
    }
}
