// Reading and replacing the game's files without ever waiting on them or losing them.
#pragma once
#include <cstddef>
#include <cstdint>

namespace plat {

// Error codes below are errno values, except this one: something that is not a regular
// file (a directory, FIFO, device or socket) stands where a file was expected.
constexpr int kNotARegularFile = -1000;
// A symbolic link that another user owns stands where a file is to be written: it is
// not followed, so nobody can make the game write over a file of their choosing.
constexpr int kForeignLink = -1001;

// Words for an error code of the functions below ("" for 0).
const char* FileErrorText(int error);

// Opens path for reading without blocking, whatever stands there: a FIFO or a device
// is refused at once instead of waiting for a writer. Returns the descriptor (blocking
// again, close it with close()) with the file's size in *size, or -1 with *error set.
int OpenRegularFileForReading(const char* path, uint64_t* size, int* error);

// Reads until capacity bytes or the end of the file. Returns the count, or -1 with
// *error set (error may be null).
long ReadUpTo(int fd, uint8_t* buffer, size_t capacity, int* error);

// Replaces path with data so that a crash, a full disk or a second game writing at the
// same time never leaves a half-written or empty file:
// - a symlink at path is followed, and its final target is the file replaced, but only
//   while every link on the way belongs to this user: a link of anyone else's is
//   refused (kForeignLink) and nothing is written, as the kernel's protected-symlinks
//   rule does in shared folders;
// - a target that exists but that this user may not write is left alone (EACCES);
// - the data goes to a new, uniquely named temporary file beside the target
//   (".NAME.tmp-PID-RANDOM"), created with O_CREAT | O_EXCL | O_NOFOLLOW so that nothing
//   planted there is ever written through, and locked while it is written; every write
//   is checked and flushed to the disk, then it is renamed over the target, keeping the
//   target's permission bits;
// - temporary files of that pattern beside the target that a writer killed mid-write
//   left behind are removed first: only this user's regular files, only while no live
//   process of that id exists and nobody holds their lock.
// On any failure the temporary file is removed and the target stays as it was.
// Returns true when the target now holds data; otherwise *error (may be null) says why.
bool WriteFileAtomically(const char* path, const uint8_t* data, size_t size, int* error = nullptr);

// Reads at most capacity bytes from the start of path into buffer (never blocking, see
// OpenRegularFileForReading). Returns the number of bytes read, or -1 when the file
// cannot be opened or read; *error (may be null) then says why, ENOENT when missing.
long ReadFilePrefix(const char* path, uint8_t* buffer, size_t capacity, int* error = nullptr);

// Removes the temporary files that writes of target (a path that is not a link) left
// behind when their writer was killed, as WriteFileAtomically does before it writes.
// Returns how many were removed.
int RemoveStaleTemporaries(const char* target);

} // namespace plat
