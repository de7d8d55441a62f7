#include "CFileUtil.h"

#if JUCE_WINDOWS

juce::File CFileUtil::resolveLinks(const juce::File& file) { return file; }

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
#include <string>
#include <vector>

namespace
{
// A chain longer than this is taken for a loop, as the system does.
constexpr int kMaxLinkHops = 40;

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
} // namespace

juce::File CFileUtil::resolveLinks(const juce::File& file)
{
    std::string path = file.getFullPathName().toStdString();
    for (int hop = 0; hop < kMaxLinkHops; ++hop)
    {
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return juce::File(juce::String::fromUTF8(path.c_str()));
        std::vector<char> buffer(4096);
        const ssize_t n = ::readlink(path.c_str(), buffer.data(), buffer.size());
        if (n <= 0 || (size_t) n >= buffer.size())
            return {};
        const std::string linked(buffer.data(), (size_t) n);
        if (linked[0] == '/')
            path = linked;
        else
            path = path.substr(0, path.rfind('/') + 1) + linked;
    }
    return {};
}

bool CFileUtil::writeWholeFile(const juce::File& target, const void* data, size_t size)
{
    if (target == juce::File())
        return false;
    const juce::File real = resolveLinks(target);
    if (real == juce::File())
        return false;
    const std::string path = real.getFullPathName().toStdString();
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
