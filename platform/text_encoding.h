// The game keeps its strings as CP932 bytes; only what the desktop shows is converted.
#pragma once
#include <string>

namespace plat {

// UTF-8 for a NUL-terminated CP932 string. Bytes that do not convert become U+FFFD,
// so a damaged string still shows something readable.
std::string Cp932ToUtf8(const char* text);

} // namespace plat
