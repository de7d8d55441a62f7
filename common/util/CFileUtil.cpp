#include "CFileUtil.h"

#if JUCE_WINDOWS

bool CFileUtil::writeWholeFile(const juce::File& target, const void* data, size_t size)
{
    if (target == juce::File() || target.isDirectory())
        return false;
    if (target.exists() && !target.hasWriteAccess())
        return false;
    juce::TemporaryFile temp(target, juce::TemporaryFile::useHiddenFile);
    {
        juce::FileOutputStream out(temp.getFile(), 0);
        if (!out.openedOk() || !out.write(data, size))
            return false;
        out.flush();
        if (out.getStatus().failed())
            return false;
    }
    if (temp.getFile().getSize() != (juce::int64) size)
        return false;
    return temp.overwriteTargetFileWithTemporary();
}

#else

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

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

bool readAll(int fd, std::vector<unsigned char>& out)
{
    size_t got = 0;
    while (got < out.size())
    {
        const ssize_t n = ::pread(fd, out.data() + got, out.size() - got, (off_t) got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        got += (size_t) n;
    }
    return true;
}

mode_t defaultFileMode()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// Writes a file that did not exist; removes it again when the write fails.
bool createWithData(const std::string& path, const unsigned char* data, size_t size)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    size_t written = 0;
    bool ok = writeAllAt(fd, data, size, 0, written) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (!ok)
        ::unlink(path.c_str());
    return ok;
}

// Overwrites an existing file where it is. The bytes the write covers are
// kept first and put back when it fails, with the old length, so the file
// then holds its old bytes again; the old tail is cut only once the new bytes
// are on disk.
bool overwriteInPlace(const std::string& path, const unsigned char* data, size_t size)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
    {
        ::close(fd);
        return false;
    }
    const size_t oldSize = (size_t) st.st_size;
    std::vector<unsigned char> head(std::min(oldSize, size));
    if (!readAll(fd, head))
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
// `real`. Where the file exists, the system's own answer (the file stat
// reaches through the name) must be the file found, so no other file is
// taken, not even when a link changes meanwhile; a name the system refuses
// (too many links, a folder it may not search) is refused.
bool fileToWrite(const std::string& name, std::string& real)
{
    struct stat viaName;
    const bool exists = ::stat(name.c_str(), &viaName) == 0;
    if (!exists && errno != ENOENT)
        return false;
    if (!resolvePath(name, real))
        return false;
    struct stat found;
    if (::lstat(real.c_str(), &found) != 0)
        return !exists && errno == ENOENT;
    return exists && found.st_dev == viaName.st_dev && found.st_ino == viaName.st_ino;
}
} // namespace

bool CFileUtil::writeWholeFile(const juce::File& target, const void* data, size_t size)
{
    if (target == juce::File())
        return false;
    std::string path;
    if (!fileToWrite(target.getFullPathName().toStdString(), path))
        return false;
    const auto* bytes = static_cast<const unsigned char*>(data);

    struct stat st;
    const bool exists = ::stat(path.c_str(), &st) == 0;
    if (!exists && errno != ENOENT)
        return false;
    bool inPlace = false;
    if (exists)
    {
        if (!S_ISREG(st.st_mode))
            return false;
        // Made read-only by its owner: left alone, also by a user whom the
        // system would let write it.
        if ((st.st_mode & 0222) == 0)
            return false;
        const int probe = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
        if (probe < 0)
            return false;
        ::close(probe);
        // A replacement would belong to this user, and other names of the
        // file would keep the old bytes: such a file is written where it is.
        const bool sameOwner = st.st_uid == ::geteuid() && st.st_gid == ::getegid();
        inPlace = st.st_nlink > 1 || (!sameOwner && ::geteuid() != 0);
    }

    if (!inPlace)
    {
        const std::string folder = path.substr(0, path.rfind('/') + 1);
        std::string temp = folder + "." + path.substr(folder.size()) + ".XXXXXX";
        const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
        if (fd >= 0)
        {
            size_t written = 0;
            bool ok = writeAllAt(fd, bytes, size, 0, written);
            if (exists)
            {
                if (st.st_uid != ::geteuid() || st.st_gid != ::getegid())
                    ok = ok && ::fchown(fd, st.st_uid, st.st_gid) == 0;
                ok = ok && ::fchmod(fd, st.st_mode & 07777) == 0;
            }
            else
                ok = ok && ::fchmod(fd, defaultFileMode()) == 0;
            ok = ok && ::fsync(fd) == 0;
            ok = ::close(fd) == 0 && ok;
            if (ok && ::rename(temp.c_str(), path.c_str()) == 0)
                return true;
            ::unlink(temp.c_str());
            return false;
        }
        // No file can be made beside it (a read-only folder, say): the
        // target itself is written, if it can be.
    }
    return exists ? overwriteInPlace(path, bytes, size) : createWithData(path, bytes, size);
}

#endif
