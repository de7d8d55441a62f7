#include "CFileUtil.h"
#include <cstring>
#include <vector>

CFileUtil::TestHooks& CFileUtil::testHooks()
{
    static TestHooks hooks;
    return hooks;
}

namespace
{
// The longest name a folder takes, in the units the system counts.
constexpr size_t kMaxNameLength = 255;

// The name of a fresh file beside `name` for bytes on their way: hidden, and
// ending in a random tag rather than the target's extension, so that what a
// crash leaves is never taken for a library or settings file. It fits where
// `name` does.
template <typename Text>
Text temporaryNameFor(const Text& name, const Text& tag)
{
    const size_t room = kMaxNameLength - 2 - tag.size();
    return Text(1, '.') + name.substr(0, room) + Text(1, '.') + tag;
}

juce::String randomTag() { return juce::String::toHexString(juce::Random::getSystemRandom().nextInt()).paddedLeft('0', 8); }
} // namespace

#if JUCE_WINDOWS

#include <windows.h>

namespace
{
bool writeAll(HANDLE h, const unsigned char* data, size_t size)
{
    size_t done = 0;
    while (done < size)
    {
        DWORD n = 0;
        const DWORD chunk = (DWORD) juce::jmin(size - done, (size_t) 1 << 20);
        if (!WriteFile(h, data + done, chunk, &n, nullptr) || n == 0)
            return false;
        done += n;
    }
    return true;
}

// What a replaced file carries besides its bytes that a user sees.
constexpr DWORD kKeptAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
} // namespace

bool CFileUtil::writeWholeFile(const juce::File& target, const void* data, size_t size)
{
    if (target == juce::File() || target.isDirectory())
        return false;
    const bool exists = target.existsAsFile();
    if (exists && !target.hasWriteAccess())
        return false;
    const DWORD oldAttributes = exists ? GetFileAttributesW(target.getFullPathName().toWideCharPointer()) : 0;
    if (auto& hook = testHooks().afterCheck)
        hook(target);

    // A fresh file beside the target: made here, never one that was there.
    const std::wstring name = target.getFileName().toWideCharPointer();
    juce::File temp;
    HANDLE h = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && h == INVALID_HANDLE_VALUE; ++attempt)
    {
        temp = target.getSiblingFile(
            juce::String(temporaryNameFor(name, std::wstring(randomTag().toWideCharPointer())).c_str()));
        h = CreateFileW(temp.getFullPathName().toWideCharPointer(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS)
            return false;
    }
    if (h == INVALID_HANDLE_VALUE)
        return false;
    bool ok = writeAll(h, static_cast<const unsigned char*>(data), size) && FlushFileBuffers(h);
    ok = CloseHandle(h) && ok;
    const std::wstring tempPath = temp.getFullPathName().toWideCharPointer();
    if (ok && exists && oldAttributes != INVALID_FILE_ATTRIBUTES && (oldAttributes & kKeptAttributes) != 0)
        ok = SetFileAttributesW(tempPath.c_str(), oldAttributes & kKeptAttributes);

    // One rename over the old file, through to the disk: until it is done
    // the old file is there under its name, and whatever fails, it stays.
    if (ok)
    {
        if (auto& hook = testHooks().replace)
            ok = hook(temp, target);
        else
            ok = MoveFileExW(tempPath.c_str(), target.getFullPathName().toWideCharPointer(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    }
    if (!ok)
        DeleteFileW(tempPath.c_str());
    return ok;
}

bool CFileUtil::readWholeFile(const juce::File& file, void* data, size_t size)
{
    if (file == juce::File() || !file.existsAsFile() || file.getSize() != (juce::int64) size)
        return false;
    // One byte more than the file should hold: one that grew since is refused.
    std::vector<unsigned char> buffer(size + 1);
    juce::FileInputStream in(file);
    if (!in.openedOk() || in.read(buffer.data(), (int) buffer.size()) != (int) size)
        return false;
    std::memcpy(data, buffer.data(), size);
    return true;
}

#else

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string>

namespace
{
// The most links the system follows for one name; more is taken for a loop.
constexpr int kMaxLinks = 40;

bool writeAllAt(int fd, const unsigned char* data, size_t size, off_t offset, size_t& written)
{
    written = 0;
    while (written < size)
    {
        const ssize_t n = ::pwrite(fd, data + written, size - written, offset + (off_t) written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        written += (size_t) n;
    }
    return true;
}

// Reads from the start until the buffer is full or the file ends; the count
// read, or -1.
ssize_t readUpTo(int fd, unsigned char* out, size_t capacity)
{
    size_t got = 0;
    while (got < capacity)
    {
        const ssize_t n = ::pread(fd, out + got, capacity - got, (off_t) got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        got += (size_t) n;
    }
    return (ssize_t) got;
}

mode_t defaultFileMode()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

bool sameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Opens the name in the folder only as the regular file that was checked:
// never through a link, never waiting on a FIFO or a device that took its
// place meanwhile.
int openChecked(int dir, const std::string& leaf, int flags, const struct stat& checked)
{
    const int fd = ::openat(dir, leaf.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || !sameFile(st, checked))
    {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool isMemberOf(gid_t gid)
{
    if (gid == ::getegid())
        return true;
    const int n = ::getgroups(0, nullptr);
    if (n <= 0)
        return false;
    std::vector<gid_t> groups((size_t) n);
    const int got = ::getgroups(n, groups.data());
    return got > 0 && std::find(groups.begin(), groups.begin() + got, gid) != groups.begin() + got;
}

// Whether a file this user makes can be given the owner and group of `st`:
// root can give any; anybody else only their own, and only a group of theirs.
bool canGiveOwnerOf(const struct stat& st)
{
    return ::geteuid() == 0 || (st.st_uid == ::geteuid() && isMemberOf(st.st_gid));
}

// Writes a file that did not exist, then flushes the folder that now names
// it; removes it again when any of that fails.
bool createWithData(int dir, const std::string& leaf, const unsigned char* data, size_t size)
{
    const int fd = ::openat(dir, leaf.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    size_t written = 0;
    bool ok = writeAllAt(fd, data, size, 0, written) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::fsync(dir) == 0;
    if (!ok)
        ::unlinkat(dir, leaf.c_str(), 0);
    return ok;
}

// Overwrites the checked file where it is. The bytes the write covers are
// kept first and put back when it fails, with the old length, so the file
// then holds its old bytes again; the old tail is cut only once the new bytes
// are on disk.
bool overwriteInPlace(int dir, const std::string& leaf, const struct stat& checked, const unsigned char* data,
                      size_t size)
{
    const int fd = openChecked(dir, leaf, O_RDWR, checked);
    if (fd < 0)
        return false;
    struct stat st;
    if (::fstat(fd, &st) != 0)
    {
        ::close(fd);
        return false;
    }
    const size_t oldSize = (size_t) st.st_size;
    std::vector<unsigned char> head(std::min(oldSize, size));
    if (readUpTo(fd, head.data(), head.size()) != (ssize_t) head.size())
    {
        ::close(fd); // nothing to restore from: do not touch it
        return false;
    }
    size_t written = 0;
    bool ok = writeAllAt(fd, data, size, 0, written) && ::fsync(fd) == 0;
    if (!ok)
    {
        size_t restored = 0;
        writeAllAt(fd, head.data(), std::min(written, head.size()), 0, restored);
        struct stat now;
        if (::fstat(fd, &now) == 0 && now.st_size != st.st_size)
            ::ftruncate(fd, st.st_size);
        ::fsync(fd);
    }
    else if (oldSize > size)
        ok = ::ftruncate(fd, (off_t) size) == 0 && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    return ok;
}

enum class Replaced
{
    done,
    failed,     // nothing changed
    noTemporary // no file can be made in the folder
};

// Writes the bytes to a fresh file in the folder, gives it the old file's
// owner and permissions (or a new file's), flushes it, renames it over the
// name and flushes the folder, so that the rename is on the disk too.
Replaced replaceWith(int dir, const std::string& folder, const std::string& leaf, const struct stat* old,
                     const unsigned char* data, size_t size)
{
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt)
    {
        temp = temporaryNameFor(leaf, randomTag().toStdString());
        fd = ::openat(dir, temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST)
            return Replaced::noTemporary;
    }
    if (fd < 0)
        return Replaced::noTemporary;

    size_t written = 0;
    bool ok = writeAllAt(fd, data, size, 0, written);
    if (old != nullptr)
    {
        // The folder may give new files a group of its own.
        struct stat made;
        ok = ok && ::fstat(fd, &made) == 0;
        if (ok && (made.st_uid != old->st_uid || made.st_gid != old->st_gid))
            ok = ::fchown(fd, old->st_uid, old->st_gid) == 0;
        // After the owner: changing it clears the set-ID bits.
        ok = ok && ::fchmod(fd, old->st_mode & 07777) == 0;
    }
    else
        ok = ok && ::fchmod(fd, defaultFileMode()) == 0;
    ok = ok && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (ok)
    {
        if (auto& hook = CFileUtil::testHooks().replace)
            ok = hook(juce::File(folder + "/" + temp), juce::File(folder + "/" + leaf));
        else
            ok = ::renameat(dir, temp.c_str(), dir, leaf.c_str()) == 0;
    }
    if (!ok)
    {
        ::unlinkat(dir, temp.c_str(), 0);
        return Replaced::failed;
    }
    // The new bytes are in place; false here only says they may not be on
    // the disk yet.
    return ::fsync(dir) == 0 ? Replaced::done : Replaced::failed;
}

// `path` with its folder replaced by that folder's real path, and its last
// name kept as it is (not followed). realpath follows each link on the way
// from the link's own real folder before a later ".." applies, as the system
// does; joining link texts as text would take "linked/.." for the folder
// that holds the link. False when the folder cannot be reached, or when the
// last name is no file name ("", "." or "..": a folder).
bool inRealFolder(const std::string& path, std::string& result)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return false;
    const std::string name = path.substr(slash + 1);
    if (name.empty() || name == "." || name == "..")
        return false;
    char* folder = ::realpath(slash == 0 ? "/" : path.substr(0, slash).c_str(), nullptr);
    if (folder == nullptr)
        return false;
    result = folder;
    ::free(folder);
    if (result != "/")
        result += '/';
    result += name;
    return true;
}

// The path of the file that opening `path` reaches, as a path with no link
// on it: each link is read and its text taken from the link's real folder.
// The file there may be missing (a link to a file still to be made). False
// for a loop of links or a folder that cannot be reached.
bool resolvePath(const std::string& start, std::string& result)
{
    std::string path = start;
    for (int links = 0; links <= kMaxLinks; ++links)
    {
        std::string real;
        if (!inRealFolder(path, real))
            return false;
        struct stat st;
        if (::lstat(real.c_str(), &st) != 0)
        {
            if (errno != ENOENT)
                return false;
            result = real;
            return true;
        }
        if (!S_ISLNK(st.st_mode))
        {
            result = real;
            return true;
        }
        if (links == kMaxLinks)
            return false;
        std::vector<char> buffer(4096);
        const ssize_t n = ::readlink(real.c_str(), buffer.data(), buffer.size());
        if (n <= 0 || (size_t) n >= buffer.size())
            return false;
        const std::string linked(buffer.data(), (size_t) n);
        path = linked[0] == '/' ? linked : real.substr(0, real.rfind('/') + 1) + linked;
    }
    return false;
}

// The file the system opens for `name`, for writing: its link-free path in
// `real`, and in `found` what was there when `exists`. Where the file exists,
// the system's own answer (the file stat reaches through the name) must be
// the file found, so no other file is taken, not even when a link changes
// meanwhile; a name the system refuses (too many links, a folder it may not
// search) is refused.
bool fileToWrite(const std::string& name, std::string& real, struct stat& found, bool& exists)
{
    struct stat viaName;
    exists = ::stat(name.c_str(), &viaName) == 0;
    if (!exists && errno != ENOENT)
        return false;
    if (!resolvePath(name, real))
        return false;
    if (::lstat(real.c_str(), &found) != 0)
        return !exists && errno == ENOENT;
    return exists && sameFile(found, viaName);
}

// Writes the file `leaf` of the open folder `dir` (at `folder`), which held
// `checked` when the name was resolved (nullptr: nothing). A folder that
// cannot be flushed takes no new name: its existing file is written where it
// is, and a new one is refused.
bool writeInFolder(int dir, bool canFlush, const std::string& folder, const std::string& leaf,
                   const struct stat* checked, const unsigned char* data, size_t size)
{
    // Still what the name led to, now seen from the folder held open.
    struct stat st;
    if (::fstatat(dir, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
    {
        if (errno != ENOENT || checked != nullptr)
            return false;
    }
    else if (checked == nullptr || !sameFile(st, *checked))
        return false;
    if (checked == nullptr && !canFlush)
        return false;

    bool inPlace = false;
    if (checked != nullptr)
    {
        if (!S_ISREG(st.st_mode))
            return false;
        // Made read-only by its owner: left alone, also by a user whom the
        // system would let write it.
        if ((st.st_mode & 0222) == 0)
            return false;
        const int probe = openChecked(dir, leaf, O_WRONLY, st);
        if (probe < 0)
            return false;
        ::close(probe);
        // Other names of the file would keep the old bytes, and a
        // replacement this user cannot give the file's owner and group would
        // take them from their owner: such a file is written where it is.
        inPlace = st.st_nlink > 1 || !canGiveOwnerOf(st) || !canFlush;
    }
    if (auto& hook = CFileUtil::testHooks().afterCheck)
        hook(juce::File(folder + "/" + leaf));

    if (!inPlace)
    {
        const Replaced r = replaceWith(dir, folder, leaf, checked != nullptr ? &st : nullptr, data, size);
        if (r != Replaced::noTemporary)
            return r == Replaced::done;
        // No file can be made beside it (a read-only folder, say): the
        // target itself is written, if it can be.
    }
    return checked != nullptr ? overwriteInPlace(dir, leaf, st, data, size) : createWithData(dir, leaf, data, size);
}
} // namespace

bool CFileUtil::writeWholeFile(const juce::File& target, const void* data, size_t size)
{
    if (target == juce::File())
        return false;
    std::string path;
    struct stat found;
    bool exists = false;
    if (!fileToWrite(target.getFullPathName().toStdString(), path, found, exists))
        return false;
    const size_t slash = path.rfind('/');
    const std::string folder = slash == 0 ? std::string("/") : path.substr(0, slash);
    const std::string leaf = path.substr(slash + 1);

    // Held open from here on: every step names the file in this one folder,
    // and this is the folder flushed. One this user may not read cannot be
    // flushed, but its files can still be written where they are.
    int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool canFlush = dir >= 0;
#ifdef O_PATH
    if (dir < 0 && errno == EACCES)
        dir = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
#endif
    if (dir < 0)
        return false;
    const bool ok = writeInFolder(dir, canFlush, folder == "/" ? std::string() : folder, leaf,
                                  exists ? &found : nullptr, static_cast<const unsigned char*>(data), size);
    ::close(dir);
    return ok;
}

bool CFileUtil::readWholeFile(const juce::File& file, void* data, size_t size)
{
    if (file == juce::File())
        return false;
    const int fd = ::open(file.getFullPathName().toRawUTF8(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    // One byte more than the file should hold: one that grew since is refused.
    std::vector<unsigned char> buffer(size + 1);
    struct stat st;
    const bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size == (off_t) size
                    && readUpTo(fd, buffer.data(), buffer.size()) == (ssize_t) size;
    ::close(fd);
    if (ok)
        std::memcpy(data, buffer.data(), size);
    return ok;
}

#endif
