#include "board/stage.h"

void StartStageFromPacks() {}
