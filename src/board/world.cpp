#include "board/world.h"

#include <cstring>

#include "engine/task.h"

int32_t g_boardWidth = 0;
int32_t g_boardHeight = 0;
int32_t g_stageNumber = 1;
int8_t* g_squareLayer = nullptr;
int8_t* g_routeLayer = nullptr;
int8_t* g_layerD = nullptr;
int8_t* g_eventLayer = nullptr;
int8_t* g_layerE = nullptr;
int32_t g_trackLength = 0;

char* g_eventScripts = nullptr;
uint8_t* g_eventText = nullptr;

int32_t g_playerTeam = 0;

// No stage buffer is held yet: a failed start frees nothing twice.
static void ForgetStageBuffers()
{
    g_squareLayer = nullptr;
    g_eventLayer = nullptr;
    g_routeLayer = nullptr;
    g_layerD = nullptr;
    g_layerE = nullptr;
    g_eventScripts = nullptr;
    g_eventText = nullptr;
}

template <class T>
static bool Allocate(T*& buffer, int bytes)
{
    buffer = static_cast<T*>(AllocMemory(static_cast<size_t>(bytes)));
    return buffer != nullptr;
}

int AllocStageBuffers()
{
    ForgetStageBuffers();
    bool ok = Allocate(g_squareLayer, kStageCells) && Allocate(g_eventLayer, kStageCells) &&
              Allocate(g_routeLayer, kStageCells) && Allocate(g_layerD, kStageCells) &&
              Allocate(g_layerE, kStageCells) && Allocate(g_eventScripts, kEventScriptBytes) &&
              Allocate(g_eventText, kEventTextBytes);
    if (!ok) {
        FreeStageBuffers(); // frees exactly those allocated before the failure
        return 0;
    }
    ClearStageData();
    if (g_eventText)
        std::memset(g_eventText, 0, kEventTextBytes);
    return 1;
}

void ClearStageLayers()
{
    int8_t* const layers[] = {g_squareLayer, g_routeLayer, g_layerD, g_eventLayer, g_layerE};
    for (int8_t* layer : layers) {
        if (layer)
            std::memset(layer, 0, kStageCells);
    }
}

void ClearEventScripts()
{
    if (g_eventScripts)
        std::memset(g_eventScripts, 0, kEventScriptBytes);
}

void ClearStageData()
{
    ClearStageLayers();
    ClearEventScripts();
}

template <class T>
static void Release(T*& buffer)
{
    FreeMemory(buffer);
    buffer = nullptr;
}

void FreeStageBuffers()
{
    Release(g_squareLayer);
    Release(g_eventLayer);
    Release(g_routeLayer);
    Release(g_layerD);
    Release(g_layerE);
    Release(g_eventScripts);
    Release(g_eventText);
}
