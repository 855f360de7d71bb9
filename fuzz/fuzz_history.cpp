// The race history "save.dat" is read at every start; the file may be short, long or
// hold any values. The target goes through the game's own start-up read of the file.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "persist/history.h"

namespace {

char s_dir[] = "/tmp/sugoroku-fuzz-history-XXXXXX";

void RemoveWorkDir()
{
    std::remove((std::string(s_dir) + "/save.dat").c_str());
    rmdir(s_dir);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    if (!mkdtemp(s_dir)) std::abort();
    std::atexit(RemoveWorkDir);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // LoadHistory reads "save.dat" from the working directory: step into a private one
    // for the call only, so that the fuzzer's own relative paths keep working.
    const int home = open(".", O_RDONLY | O_DIRECTORY);
    if (home < 0 || chdir(s_dir) != 0) std::abort();
    FILE* f = std::fopen("save.dat", "wb");
    if (!f) std::abort();
    if (size && std::fwrite(data, 1, size, f) != size) std::abort();
    std::fclose(f);

    LoadHistory();
    if (fchdir(home) != 0) std::abort();
    close(home);

    // Nothing stored is lost or altered: written back, the first 520 bytes come out
    // exactly as they were read, and a short file reads as empty entries after its end.
    uint8_t image[kHistoryFileBytes];
    EncodeHistory(image);
    uint8_t expected[kHistoryFileBytes] = {};
    std::memcpy(expected, data, size < sizeof(expected) ? size : sizeof(expected));
    if (std::memcmp(image, expected, sizeof(image)) != 0) __builtin_trap();
    return 0;
}
