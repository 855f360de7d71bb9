// The start of a race: a clean board, the stage's map and scripts, the pieces, the
// turns and the board music, in that order.
#include "board/event.h"
#include "board/piece.h"
#include "board/race_result.h"
#include "board/stage.h"
#include "engine/sound.h"
#include "engine/task.h"
#include "frontend/title.h"

void StartStageFromPacks()
{
    KillAllTasks();
    if (!LoadStageFromMapPack(kMapPackName)) {
        ReturnToTitle();
        return;
    }
    if (!LoadEventScripts("epack.dat")) {
        ReturnToTitle();
        return;
    }
    ResetRaceResult();
    PlaceEventObjects(); // ends by starting the turn controller and the board view
    PlayMusic(kMusicBoard);
}
