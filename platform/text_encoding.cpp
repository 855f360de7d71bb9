#include "platform/text_encoding.h"

#include <cerrno>
#include <cstring>
#include <iconv.h>

namespace plat {

std::string Cp932ToUtf8(const char* text)
{
    if (!text)
        return std::string();
    size_t inLeft = std::strlen(text);
    iconv_t cd = iconv_open("UTF-8", "CP932");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::string(text, inLeft); // no converter: ASCII still reads right

    std::string out;
    char* in = const_cast<char*>(text);
    char buffer[256];
    while (inLeft > 0) {
        char* outPtr = buffer;
        size_t outLeft = sizeof(buffer);
        size_t result = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer, static_cast<size_t>(outPtr - buffer));
        if (result == static_cast<size_t>(-1)) {
            if (errno == E2BIG)
                continue;
            // An invalid or truncated sequence: show a replacement and skip one byte.
            out.append("\xEF\xBF\xBD");
            ++in;
            --inLeft;
        }
    }
    iconv_close(cd);
    return out;
}

} // namespace plat
