// The race history "save.dat" is read at every start; the file may be short, long or
// hold any values. The target decodes the file's bytes as the start-up read does, from
// memory, so that nothing but the decoding is measured.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "persist/history.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // What LoadHistory does: clear, then decode what the file held.
    std::memset(static_cast<void*>(g_history), 0, sizeof(g_history));
    DecodeHistory(data, size);

    // Nothing stored is lost or altered: written back, the first 520 bytes come out
    // exactly as they were read, and a short file reads as empty entries after its end.
    uint8_t image[kHistoryFileBytes];
    EncodeHistory(image);
    uint8_t expected[kHistoryFileBytes] = {};
    std::memcpy(expected, data, size < sizeof(expected) ? size : sizeof(expected));
    if (std::memcmp(image, expected, sizeof(image)) != 0)
        __builtin_trap();
    return 0;
}
