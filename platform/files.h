// Whole-file replacement that never loses the file that was there.
#pragma once
#include <cstddef>
#include <cstdint>

namespace plat {

// Writes data to "<path>.tmp", checks every write, flushes it to the disk, then renames
// it over path. On any failure the temporary file is removed (when it is a file) and
// whatever was at path stays untouched. Returns true when path now holds data.
bool WriteFileAtomically(const char* path, const uint8_t* data, size_t size);

// Reads at most capacity bytes from the start of path into buffer. Returns the number
// of bytes read, or -1 when the file cannot be opened or read.
long ReadFilePrefix(const char* path, uint8_t* buffer, size_t capacity);

} // namespace plat
