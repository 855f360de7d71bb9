// Sound effects (requested during the update pass, played at its end) and music.
#pragma once

// The sound effects, named for what they sound like; the comment says who asks for
// each. Event scripts may request any of them by number. tools/soundgen makes them.
enum SoundEffect : int {
    kSoundBlip = 0,          // a soft blip: every cursor move and confirmation, a die stopped
    kSoundBoom = 1,          // a shot or hit effect strikes a battle actor
    kSoundSwing = 2,         // a quick whoosh: an actor dodges, a shot flies off its spiral
    kSoundMagic = 3,         // a fan of shots is fired
    kSoundKnock = 4,         // a piece reaches a square; overlays, ring and page turns; manual/automatic
    kSoundPause = 5,         // the in-game command menu opens
    kSoundBell = 6,          // event scripts only
    kSoundSave = 7,          // a race was saved
    kSoundError = 8,         // a refused action or a failed load
    kSoundRoar = 9,          // a battle actor charges
    kSoundScream = 10,       // the beaten battle actor sinks
    kSoundGun = 11,          // a burst of effects is fired
    kSoundFanfare = 12,      // the race is over and the ranking opens
    kSoundClick = 13,        // a card reel stops
    kSoundPunch = 14,        // a piece is moved back a square
    kSoundPlop = 15,         // a team member sinks
    kSoundSplash = 16,       // a team member jumps back
    kSoundRisingWhoosh = 17, // a revived member starts to rise
    kSoundPowerUp = 18,      // a revived member takes a step
    kSoundBlownAway = 19,    // event scripts only
};
constexpr int kSoundEffectCount = 20;

// The music loops.
enum MusicTrack : int {
    kMusicTitle = 0,
    kMusicBoard = 1,
    kMusicBattle = 2,       // a battle started by an event
    kMusicSecondBattle = 3, // a battle against an enemy group
};
constexpr int kMusicTrackCount = 4;

int InitSound(void* window);
void ReleaseSound();
void ClearSoundRequests();
void FlushSoundRequests();
void RequestSoundEffect(int id);
void PlayMusic(int track);
void StopAllMusic();
