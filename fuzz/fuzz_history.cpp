// The race history "save.dat" is read at every start; the file may be short, long or
// hold any values. The target goes through the game's own start-up read of the file.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "persist/history.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // LoadHistory reads "save.dat" from the working directory: work in a private one.
    char dir[] = "/tmp/sugoroku-fuzz-history-XXXXXX";
    if (!mkdtemp(dir) || chdir(dir) != 0) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FILE* f = std::fopen("save.dat", "wb");
    if (!f) std::abort();
    if (size && std::fwrite(data, 1, size, f) != size) std::abort();
    std::fclose(f);

    LoadHistory();

    // Nothing stored is lost or altered: written back, the first 520 bytes come out
    // exactly as they were read, and a short file reads as empty entries after its end.
    uint8_t image[kHistoryFileBytes];
    EncodeHistory(image);
    uint8_t expected[kHistoryFileBytes] = {};
    std::memcpy(expected, data, size < sizeof(expected) ? size : sizeof(expected));
    if (std::memcmp(image, expected, sizeof(image)) != 0) __builtin_trap();
    return 0;
}
