#include "platform/files.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace plat {

static bool WriteAll(int fd, const uint8_t* data, size_t size)
{
    while (size > 0) {
        ssize_t written = write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (written == 0)
            return false;
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

static void SyncDirectoryOf(const std::string& path)
{
    std::string dir = ".";
    size_t slash = path.find_last_of('/');
    if (slash != std::string::npos)
        dir = slash == 0 ? "/" : path.substr(0, slash);
    int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd); // best effort: the rename is already done
        close(fd);
    }
}

bool WriteFileAtomically(const char* path, const uint8_t* data, size_t size)
{
    if (!path || (!data && size > 0))
        return false;
    std::string temp = std::string(path) + ".tmp";
    int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false; // nothing created (or something that is not ours is in the way)

    bool ok = WriteAll(fd, data, size);
    if (ok && fsync(fd) != 0)
        ok = false;
    if (close(fd) != 0)
        ok = false;
    if (ok && rename(temp.c_str(), path) != 0)
        ok = false;
    if (!ok) {
        unlink(temp.c_str());
        return false;
    }
    SyncDirectoryOf(path);
    return true;
}

long ReadFilePrefix(const char* path, uint8_t* buffer, size_t capacity)
{
    if (!path)
        return -1;
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    size_t total = 0;
    while (total < capacity) {
        ssize_t got = read(fd, buffer + total, capacity - total);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            close(fd);
            return -1;
        }
        if (got == 0)
            break;
        total += static_cast<size_t>(got);
    }
    close(fd);
    return static_cast<long>(total);
}

} // namespace plat
