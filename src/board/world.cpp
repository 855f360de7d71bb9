#include "board/world.h"

#include <cstring>

#include "engine/task.h"

StageLayers g_stageLayers;

char* g_eventScripts = nullptr;
uint8_t* g_eventText = nullptr;

int32_t g_playerTeam = 0;

// No stage buffer is held yet: a failed start frees nothing twice.
static void ForgetStageBuffers()
{
    g_stageLayers.squareLayer = nullptr;
    g_stageLayers.eventLayer = nullptr;
    g_stageLayers.routeLayer = nullptr;
    g_stageLayers.layerD = nullptr;
    g_stageLayers.layerE = nullptr;
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
    bool ok = Allocate(g_stageLayers.squareLayer, kStageCells) && Allocate(g_stageLayers.eventLayer, kStageCells) &&
              Allocate(g_stageLayers.routeLayer, kStageCells) && Allocate(g_stageLayers.layerD, kStageCells) &&
              Allocate(g_stageLayers.layerE, kStageCells) && Allocate(g_eventScripts, kEventScriptBytes) &&
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
    int8_t* const layers[] = {g_stageLayers.squareLayer, g_stageLayers.routeLayer, g_stageLayers.layerD,
                              g_stageLayers.eventLayer, g_stageLayers.layerE};
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
    Release(g_stageLayers.squareLayer);
    Release(g_stageLayers.eventLayer);
    Release(g_stageLayers.routeLayer);
    Release(g_stageLayers.layerD);
    Release(g_stageLayers.layerE);
    Release(g_eventScripts);
    Release(g_eventText);
}
