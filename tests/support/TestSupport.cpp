#include "TestSupport.h"
#include <gtest/gtest.h>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <climits>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>

namespace
{
// Named after the process and a random number: test processes running at the
// same time must never pick the same folder.
juce::File makeTestFolder(juce::File base)
{
    base.createDirectory();
    juce::File folder;
    do
        folder = base.getChildFile("ksqx_test_" + juce::String((int) getpid()) + "_"
                                   + juce::String::toHexString(juce::Random::getSystemRandom().nextInt64()));
    while (folder.exists());
    folder.createDirectory();
    return folder;
}
} // namespace

TempFolder::TempFolder()
{
    juce::File base = juce::File::getSpecialLocation(juce::File::tempDirectory);
    if (auto* env = std::getenv("KSQX_TEST_TMP"))
        base = juce::File(juce::String(env));
    m_folder = makeTestFolder(base);
}

TempFolder::TempFolder(ShortPath) : m_folder(makeTestFolder(juce::File("/tmp"))) {}

TempFolder::~TempFolder()
{
    // Give back write permission that a test took away, then remove.
    m_folder.setReadOnly(false, true);
    m_folder.deleteRecursively();
}

BoxRecorder::BoxRecorder()
{
    CDialogUtil::setBoxHandler([this](const CDialogUtil::Box& box) {
        boxes.push_back(box);
        if (!box.okCancel || answers.empty())
            return true;
        const bool answer = answers.front();
        answers.erase(answers.begin());
        return answer;
    });
}

BoxRecorder::~BoxRecorder() { CDialogUtil::setBoxHandler(nullptr); }

void pumpMessages(int milliseconds)
{
    juce::MessageManager::getInstance()->runDispatchLoopUntil(milliseconds);
}

bool pumpUntil(const std::function<bool()>& condition, int timeoutMilliseconds)
{
    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMilliseconds;
    while (!condition())
    {
        if (juce::Time::getMillisecondCounter() >= end)
            return condition();
        juce::MessageManager::getInstance()->runDispatchLoopUntil(5);
    }
    return true;
}

bool deliverPosted(int timeoutMilliseconds)
{
    auto delivered = std::make_shared<bool>(false);
    juce::MessageManager::callAsync([delivered] { *delivered = true; });
    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMilliseconds;
    while (!*delivered && juce::Time::getMillisecondCounter() < end)
        juce::MessageManager::getInstance()->runDispatchLoopUntil(1);
    return *delivered;
}

bool holdsFor(const std::function<bool()>& condition, int milliseconds)
{
    return !pumpUntil([&condition] { return !condition(); }, milliseconds);
}

bool waitUntil(const std::function<bool()>& condition, int timeoutMilliseconds)
{
    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMilliseconds;
    while (!condition())
    {
        if (juce::Time::getMillisecondCounter() >= end)
            return condition();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

CDialogUtil::Box okCancelBox(juce::MessageBoxIconType icon, const juce::String& title, const juce::String& message,
                             const juce::String& button1, const juce::String& button2)
{
    CDialogUtil::Box box;
    box.okCancel = true;
    box.icon = icon;
    box.title = title;
    box.message = message;
    box.button1 = button1;
    box.button2 = button2;
    return box;
}

CDialogUtil::Box messageBox(juce::MessageBoxIconType icon, const juce::String& title, const juce::String& message,
                            const juce::String& button)
{
    CDialogUtil::Box box = okCancelBox(icon, title, message, button, {});
    box.okCancel = false;
    return box;
}

bool operator==(const CDialogUtil::Box& a, const CDialogUtil::Box& b)
{
    return a.okCancel == b.okCancel && a.icon == b.icon && a.title == b.title && a.message == b.message
           && a.button1 == b.button1 && a.button2 == b.button2;
}

std::ostream& operator<<(std::ostream& out, const CDialogUtil::Box& box)
{
    return out << (box.okCancel ? "ok/cancel" : "message") << " icon " << (int) box.icon << " [" << box.title
               << "] [" << box.message.replace("\n", "\\n").replace("\r", "\\r") << "] [" << box.button1 << "] ["
               << box.button2 << "]";
}

namespace
{
void walk(const std::string& root, const std::string& rel, FileTree& tree)
{
    DIR* dir = ::opendir((root + rel).c_str());
    if (dir == nullptr)
    {
        tree[rel + "<unreadable>"] = TreeEntry{};
        return;
    }
    while (const dirent* e = ::readdir(dir))
    {
        const std::string name = e->d_name;
        if (name == "." || name == "..")
            continue;
        const std::string path = rel + "/" + name;
        struct stat st{};
        if (::lstat((root + path).c_str(), &st) != 0)
            continue;
        TreeEntry entry;
        entry.mode = (int) (st.st_mode & 07777);
        entry.uid = st.st_uid;
        entry.gid = st.st_gid;
        if (S_ISLNK(st.st_mode))
        {
            entry.kind = 'l';
            entry.mode = 0; // a link's own mode means nothing
            char text[PATH_MAX];
            const ssize_t n = ::readlink((root + path).c_str(), text, sizeof text);
            entry.data.assign(text, n > 0 ? (size_t) n : 0);
        }
        else if (S_ISDIR(st.st_mode))
            entry.kind = 'd';
        else if (S_ISREG(st.st_mode))
        {
            entry.kind = 'f';
            std::ifstream in(root + path, std::ios::binary);
            if (in.is_open())
                entry.data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            else
                entry.data = "<unreadable>";
        }
        tree[path] = entry;
        if (entry.kind == 'd')
            walk(root, path, tree);
    }
    ::closedir(dir);
}

std::string describe(const TreeEntry& e)
{
    std::ostringstream out;
    out << e.kind << " mode " << std::oct << e.mode << std::dec << " owner " << e.uid << ":" << e.gid;
    if (e.kind == 'l')
        out << " -> " << e.data;
    else if (e.kind == 'f')
    {
        out << ", " << e.data.size() << " bytes";
        if (!e.data.empty())
            out << " from 0x" << std::hex << (int) (unsigned char) e.data[0];
    }
    return out.str();
}
} // namespace

FileTree fileTreeOf(const juce::File& folder)
{
    FileTree tree;
    walk(folder.getFullPathName().toStdString(), "", tree);
    return tree;
}

TreeEntry fileEntry(const std::vector<unsigned char>& bytes, int mode)
{
    TreeEntry e;
    e.kind = 'f';
    e.mode = mode;
    e.uid = ::geteuid();
    e.gid = ::getegid();
    e.data.assign(bytes.begin(), bytes.end());
    return e;
}

void expectSameTree(const FileTree& expected, const FileTree& actual)
{
    for (const auto& [path, e] : expected)
    {
        const auto it = actual.find(path);
        if (it == actual.end())
            ADD_FAILURE() << path << " is missing, expected " << describe(e);
        else if (!(it->second == e))
        {
            const auto& data = it->second.data;
            const auto diff = std::mismatch(data.begin(), data.end(), e.data.begin(), e.data.end());
            ADD_FAILURE() << path << " is " << describe(it->second) << ", expected " << describe(e)
                          << (diff.first != data.end() && data.size() == e.data.size()
                                  ? ", first differing at byte " + std::to_string(diff.first - data.begin())
                                  : std::string());
        }
    }
    for (const auto& [path, e] : actual)
        if (expected.count(path) == 0)
            ADD_FAILURE() << path << " appeared: " << describe(e);
}

std::string realPathOf(const juce::File& f)
{
    char* real = ::realpath(f.getFullPathName().toRawUTF8(), nullptr);
    if (real == nullptr)
        return {};
    std::string result = real;
    ::free(real);
    return result;
}
