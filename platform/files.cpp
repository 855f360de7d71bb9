#include "platform/files.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace plat {

namespace {

// Longest chain of symlinks followed before giving up, as the kernel does.
constexpr int kMaxLinkHops = 40;
// Temporary names tried before giving up when every one is taken.
constexpr int kTempNameTries = 100;
// A temporary file is ".NAME" + this + "PID-" + 16 hex digits of chance.
constexpr const char* kTempMark = ".tmp-";
constexpr size_t kTempRandomDigits = 16;
constexpr size_t kMaxPidDigits = 10;

bool WriteAll(int fd, const uint8_t* data, size_t size, int* error)
{
    while (size > 0) {
        ssize_t written = write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            *error = errno;
            return false;
        }
        if (written == 0) {
            *error = ENOSPC;
            return false;
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

std::string DirectoryOf(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseNameOf(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void SyncDirectory(const std::string& dir)
{
    int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd); // best effort: the rename is already done
        close(fd);
    }
}

// Follows symlinks at path to the file they finally name, which need not exist yet.
bool ResolveLinks(const std::string& path, std::string* resolved, int* error)
{
    std::string current = path;
    for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
        struct stat info;
        if (lstat(current.c_str(), &info) != 0) {
            if (errno != ENOENT) {
                *error = errno;
                return false;
            }
            *resolved = current; // a new file (or a dangling link's target) is made here
            return true;
        }
        if (!S_ISLNK(info.st_mode)) {
            *resolved = current;
            return true;
        }
        // Someone else's link may point anywhere this user can write: never follow it.
        if (info.st_uid != geteuid()) {
            *error = kForeignLink;
            return false;
        }
        char target[4096];
        ssize_t length = readlink(current.c_str(), target, sizeof(target) - 1);
        if (length < 0) {
            *error = errno;
            return false;
        }
        target[length] = '\0';
        if (target[0] == '/' || current.find('/') == std::string::npos)
            current = target;
        else
            current = DirectoryOf(current) + "/" + target;
    }
    *error = ELOOP;
    return false;
}

uint64_t TempNameBits()
{
    uint64_t bits = 0;
    if (getrandom(&bits, sizeof(bits), GRND_NONBLOCK) == static_cast<ssize_t>(sizeof(bits)))
        return bits;
    // No entropy yet: the clock and a counter still differ between tries, and O_EXCL
    // makes any clash a retry rather than a shared file.
    static uint64_t counter = 0;
    struct timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (static_cast<uint64_t>(now.tv_nsec) << 20) ^ static_cast<uint64_t>(now.tv_sec) ^ (++counter << 44);
}

std::string TempPrefix(const std::string& target)
{
    // Appended piece by piece: GCC 12 at -O3 takes `"." + std::string` for an overlapping
    // copy (a false -Wrestrict).
    std::string prefix = ".";
    prefix += BaseNameOf(target);
    prefix += kTempMark;
    return prefix;
}

// Creates a temporary file beside target that no one else has or can have redirected.
// It stays locked until it is closed, so that a cleaner never takes it for litter.
int CreateTempFile(const std::string& target, std::string* tempPath, int* error)
{
    const std::string prefix = DirectoryOf(target) + "/" + TempPrefix(target);
    for (int attempt = 0; attempt < kTempNameTries; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof(suffix), "%d-%016llx", static_cast<int>(getpid()),
                      static_cast<unsigned long long>(TempNameBits()));
        std::string candidate = prefix + suffix;
        int fd = open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0) {
            // Taken at once and never waited for: a cleaner holds a lock only on files
            // whose writer is gone.
            flock(fd, LOCK_EX | LOCK_NB);
            *tempPath = candidate;
            return fd;
        }
        if (errno != EEXIST && errno != EINTR) {
            *error = errno;
            return -1;
        }
    }
    *error = EEXIST;
    return -1;
}

// The id of the writer when name is one of our temporary names for the prefix
// (".NAME.tmp-"), else 0.
pid_t TempWriter(const char* name, const std::string& prefix)
{
    if (std::strncmp(name, prefix.c_str(), prefix.size()) != 0)
        return 0;
    const char* at = name + prefix.size();
    long long pid = 0;
    size_t digits = 0;
    for (; at[digits] >= '0' && at[digits] <= '9'; ++digits) {
        if (digits == kMaxPidDigits)
            return 0;
        pid = pid * 10 + (at[digits] - '0');
    }
    if (digits == 0 || pid < 1 || pid > INT_MAX || at[digits] != '-')
        return 0;
    at += digits + 1;
    for (size_t i = 0; i < kTempRandomDigits; ++i)
        if (!((at[i] >= '0' && at[i] <= '9') || (at[i] >= 'a' && at[i] <= 'f')))
            return 0;
    return at[kTempRandomDigits] == '\0' ? static_cast<pid_t>(pid) : 0;
}

// Whether a process of that id runs (one of another user's counts too).
bool ProcessRuns(pid_t pid)
{
    return kill(pid, 0) == 0 || errno == EPERM;
}

// Removes one temporary file of the directory when it is this user's regular file that
// nobody writes: its writer's process is gone (or is this one, which writes nothing
// now) and nobody holds its lock. The checks and the removal look at one and the same
// file, so nothing swapped in under the name is removed.
bool RemoveIfStale(int directory, const char* name, pid_t writer)
{
    if (writer != getpid() && ProcessRuns(writer))
        return false;
    const int fd = openat(directory, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool removed = false;
    struct stat held {};
    struct stat named {};
    if (fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && held.st_uid == geteuid() &&
        flock(fd, LOCK_EX | LOCK_NB) == 0 && fstatat(directory, name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
        named.st_dev == held.st_dev && named.st_ino == held.st_ino)
        removed = unlinkat(directory, name, 0) == 0;
    close(fd);
    return removed;
}

} // namespace

int RemoveStaleTemporaries(const char* target)
{
    if (!target || !*target)
        return 0;
    const std::string path = target;
    const int directory = open(DirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory < 0)
        return 0;
    DIR* listing = fdopendir(dup(directory));
    if (listing == nullptr) {
        close(directory);
        return 0;
    }
    const std::string prefix = TempPrefix(path);
    int removed = 0;
    while (const struct dirent* entry = readdir(listing)) {
        const pid_t writer = TempWriter(entry->d_name, prefix);
        if (writer != 0 && RemoveIfStale(directory, entry->d_name, writer))
            ++removed;
    }
    closedir(listing);
    close(directory);
    return removed;
}

const char* FileErrorText(int error)
{
    if (error == 0)
        return "";
    if (error == kNotARegularFile)
        return "not a regular file (a directory, FIFO or device stands in its place)";
    if (error == kForeignLink)
        return "a symbolic link owned by another user stands in its place and is not followed";
    return std::strerror(error);
}

int OpenRegularFileForReading(const char* path, uint64_t* size, int* error)
{
    int ignored = 0;
    int* why = error ? error : &ignored;
    if (!path) {
        *why = EINVAL;
        return -1;
    }
    // Non-blocking so that a FIFO opens at once instead of waiting for a writer; it is
    // refused just below, and only a regular file is ever read.
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        *why = errno;
        return -1;
    }
    struct stat info;
    if (fstat(fd, &info) != 0) {
        *why = errno;
        close(fd);
        return -1;
    }
    if (!S_ISREG(info.st_mode)) {
        *why = kNotARegularFile;
        close(fd);
        return -1;
    }
    int flags = fcntl(fd, F_GETFL);
    if (flags >= 0)
        fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    if (size)
        *size = static_cast<uint64_t>(info.st_size);
    return fd;
}

long ReadUpTo(int fd, uint8_t* buffer, size_t capacity, int* error)
{
    size_t total = 0;
    while (total < capacity) {
        ssize_t got = read(fd, buffer + total, capacity - total);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            if (error)
                *error = errno;
            return -1;
        }
        if (got == 0)
            break;
        total += static_cast<size_t>(got);
    }
    return static_cast<long>(total);
}

bool WriteFileAtomically(const char* path, const uint8_t* data, size_t size, int* error)
{
    int ignored = 0;
    int* why = error ? error : &ignored;
    *why = 0;
    if (!path || !*path || (!data && size > 0)) {
        *why = EINVAL;
        return false;
    }
    std::string target;
    if (!ResolveLinks(path, &target, why))
        return false;

    // An existing file keeps its permission bits; one this user may not write is not
    // ours to replace, even though the directory would let us rename over it.
    mode_t mode = 0644;
    struct stat info;
    if (stat(target.c_str(), &info) == 0) {
        if (!S_ISREG(info.st_mode)) {
            *why = kNotARegularFile;
            return false;
        }
        if (access(target.c_str(), W_OK) != 0) {
            *why = errno;
            return false;
        }
        mode = info.st_mode & 07777;
    }

    // Litter of writers killed mid-write goes before this write adds its own file.
    RemoveStaleTemporaries(target.c_str());
    std::string temp;
    int fd = CreateTempFile(target, &temp, why);
    if (fd < 0)
        return false;
    bool ok = true;
    if (fchmod(fd, mode) != 0) {
        *why = errno;
        ok = false;
    }
    ok = ok && WriteAll(fd, data, size, why);
    if (ok && fsync(fd) != 0) {
        *why = errno;
        ok = false;
    }
    if (close(fd) != 0 && ok) {
        *why = errno;
        ok = false;
    }
    if (ok && rename(temp.c_str(), target.c_str()) != 0) {
        *why = errno;
        ok = false;
    }
    if (!ok) {
        unlink(temp.c_str());
        return false;
    }
    SyncDirectory(DirectoryOf(target));
    return true;
}

long ReadFilePrefix(const char* path, uint8_t* buffer, size_t capacity, int* error)
{
    int fd = OpenRegularFileForReading(path, nullptr, error);
    if (fd < 0)
        return -1;
    long got = ReadUpTo(fd, buffer, capacity, error);
    close(fd);
    return got;
}

} // namespace plat
