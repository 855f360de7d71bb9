// Sound effects (requested during the update pass, played at its end) and music.
#pragma once

constexpr int kSoundEffectCount = 20;
constexpr int kMusicTrackCount = 4;

int InitSound(void* window);
void ReleaseSound();
void ClearSoundRequests();
void FlushSoundRequests();
void RequestSoundEffect(int id);
void PlayMusic(int track);
void StopAllMusic();
