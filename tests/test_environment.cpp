// The tests draw offscreen and play into no sound device on whatever machine runs them,
// a desktop with a display and speakers or a server with neither; a driver chosen in the
// environment is kept.
#include <cstdlib>

namespace {

const bool g_driversChosen = [] {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    return true;
}();

} // namespace
