#pragma once
#include "KsqxJuce.h"
#include "CDialogUtil.h"
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

// Sets an environment variable (unsets it for nullptr) for one scope and puts
// back what was there.
struct ScopedEnv
{
    ScopedEnv(const char* name, const char* value) : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old, m_had = true;
        if (value != nullptr)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnv()
    {
        if (m_had)
            ::setenv(m_name, m_old.c_str(), 1);
        else
            ::unsetenv(m_name);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

    const char* m_name;
    std::string m_old;
    bool m_had = false;
};

// A temporary folder of the test's own, removed at the end of the test.
class TempFolder
{
public:
    TempFolder();
    // Below /tmp whatever KSQX_TEST_TMP says: a socket's path must fit in
    // the 108 bytes of sun_path, which a checkout's deep build folder can use
    // up on its own.
    struct ShortPath
    {
    };
    explicit TempFolder(ShortPath);
    ~TempFolder();
    const juce::File& get() const { return m_folder; }
    juce::File file(const juce::String& name) const { return m_folder.getChildFile(name); }

private:
    juce::File m_folder;
};

// Everything below a folder as it is on disk, walked without following
// links: for each path (relative to the folder) its kind, mode, owner and
// content (a link's text). Comparing two shows any file that changed,
// appeared or went, wherever links would have led a writer.
struct TreeEntry
{
    char kind = '?'; // 'f' file, 'd' folder, 'l' link
    int mode = 0;
    unsigned uid = 0, gid = 0;
    std::string data; // a file's bytes, a link's text
    bool operator==(const TreeEntry& o) const
    {
        return kind == o.kind && mode == o.mode && uid == o.uid && gid == o.gid && data == o.data;
    }
};
using FileTree = std::map<std::string, TreeEntry>;
FileTree fileTreeOf(const juce::File& folder);
// A regular file's entry as this process would make it.
TreeEntry fileEntry(const std::vector<unsigned char>& bytes, int mode);
// One failure per path that differs, naming it.
void expectSameTree(const FileTree& expected, const FileTree& actual);
// The path the system reaches for the name, every link followed; empty when
// it reaches none.
std::string realPathOf(const juce::File& f);

// Records every box the program shows and answers OK/Cancel boxes from a
// queue of answers (true = first button); an empty queue answers true.
class BoxRecorder
{
public:
    BoxRecorder();
    ~BoxRecorder();
    std::vector<CDialogUtil::Box> boxes;
    std::vector<bool> answers;
};

// Runs the message loop for the given time, so timers and async calls fire.
// Not for awaiting an effect: use one of the three below.
void pumpMessages(int milliseconds);

// Runs the message loop until the condition holds or the time is up; returns
// the condition's last value.
bool pumpUntil(const std::function<bool()>& condition, int timeoutMilliseconds);

// Runs the message loop until every message posted before the call has been
// delivered (they are delivered in order, so once a marker posted now has
// run, they all have); false if that takes longer than the time given. For
// what an action posts: a click, an asynchronous notification or update.
bool deliverPosted(int timeoutMilliseconds = 10000);

// Runs the message loop for the given time, checking the condition
// throughout; false as soon as it fails. For what must not happen within a
// time (a timer's or another process's doing).
bool holdsFor(const std::function<bool()>& condition, int milliseconds);

// Waits, without dispatching messages, until the condition holds or the time
// is up; returns the condition's last value. For holding the message thread
// while another thread reaches a point.
bool waitUntil(const std::function<bool()>& condition, int timeoutMilliseconds);

// Boxes as the tests expect them: compare a recorded box with one of these.
CDialogUtil::Box okCancelBox(juce::MessageBoxIconType icon, const juce::String& title, const juce::String& message,
                             const juce::String& button1, const juce::String& button2);
CDialogUtil::Box messageBox(juce::MessageBoxIconType icon, const juce::String& title, const juce::String& message,
                            const juce::String& button);
bool operator==(const CDialogUtil::Box& a, const CDialogUtil::Box& b);
std::ostream& operator<<(std::ostream& out, const CDialogUtil::Box& box);

// Fails the whole run instead of hanging it when the guarded action does not
// return in time.
class Watchdog
{
public:
    explicit Watchdog(std::string what, int seconds = 10)
        : m_what(std::move(what)), m_thread([this, seconds] {
              std::unique_lock<std::mutex> lock(m_mutex);
              if (!m_doneChanged.wait_for(lock, std::chrono::seconds(seconds), [this] { return m_done; }))
              {
                  std::fprintf(stderr, "deadlock: %s did not return within %d s\n", m_what.c_str(), seconds);
                  std::abort();
              }
          })
    {
    }
    ~Watchdog()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_done = true;
        }
        m_doneChanged.notify_all();
        m_thread.join();
    }

private:
    std::string m_what;
    std::mutex m_mutex;
    std::condition_variable m_doneChanged;
    bool m_done = false;
    std::thread m_thread;
};

