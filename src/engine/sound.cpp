// Placeholder until the sound module lands: start-up succeeds and nothing plays.
#include "engine/sound.h"

int InitSound(void*) { return 1; }
void ReleaseSound() {}
void ClearSoundRequests() {}
void FlushSoundRequests() {}
void RequestSoundEffect(int) {}
void PlayMusic(int) {}
void StopAllMusic() {}
