#include "engine/task.h"

#include <cstdlib>
#include <cstring>

Task* g_tasks = nullptr;

void* AllocMemory(size_t size)
{
    return std::malloc(size);
}

void FreeMemory(void* block)
{
    if (block)
        std::free(block);
}

int InitTaskPool()
{
    void* block = AllocMemory(sizeof(Task) * kTaskSlots);
    if (!block)
        return 0;
    g_tasks = static_cast<Task*>(block);
    ClearTaskPool();
    return 1;
}

void ClearTaskPool()
{
    if (!g_tasks)
        return;
    std::memset(static_cast<void*>(g_tasks), 0, sizeof(Task) * kTaskSlots);
}

void FreeTaskPool()
{
    FreeMemory(g_tasks);
    g_tasks = nullptr;
}

static Task* TakeSlot(int slot)
{
    Task* task = &g_tasks[slot];
    std::memset(static_cast<void*>(task), 0, sizeof(Task));
    return task;
}

Task* CreateTask(int slot)
{
    if (!g_tasks || slot < 0 || slot > kTaskSlots - 1)
        return nullptr;
    if (g_tasks[slot].alive != 0)
        return nullptr;
    return TakeSlot(slot);
}

Task* CreateTaskInRange(int first, int last)
{
    if (!g_tasks || first < 0 || last > kTaskSlots - 1)
        return nullptr;
    for (int slot = first; slot < last; ++slot) {
        if (g_tasks[slot].alive == 0)
            return TakeSlot(slot);
    }
    return nullptr;
}

void StartTask(Task* task, int32_t kind, TaskProc update, TaskProc draw)
{
    task->alive = 1;
    task->updateEnabled = 1;
    task->drawEnabled = 1;
    task->kind = kind;
    task->update = update;
    task->draw = draw;
}

// Flags and procedures are read when the walk reaches a slot, so tasks created,
// killed or changed earlier in the same pass take effect at once.
void UpdateAllTasks()
{
    for (int slot = 0; g_tasks && slot < kTaskSlots; ++slot) {
        Task* task = &g_tasks[slot];
        if (task->alive != 0 && task->updateEnabled != 0 && task->update)
            task->update(task);
    }
}

void DrawAllTasks()
{
    for (int slot = 0; g_tasks && slot < kTaskSlots; ++slot) {
        Task* task = &g_tasks[slot];
        if (task->alive != 0 && task->drawEnabled != 0 && task->draw)
            task->draw(task);
    }
}

void KillTask(Task* task)
{
    if (task)
        task->alive = 0;
}

void KillAllTasks()
{
    for (int slot = 0; g_tasks && slot < kTaskSlots; ++slot)
        g_tasks[slot].alive = 0;
}

void KillTasksOfKind(int32_t kind)
{
    for (int slot = 0; g_tasks && slot < kTaskSlots; ++slot) {
        if (g_tasks[slot].alive != 0 && g_tasks[slot].kind == kind)
            g_tasks[slot].alive = 0;
    }
}

static void ApplyMode(Task* task, int32_t command)
{
    switch (command) {
    case kModeFreeze: task->updateEnabled = 0; break;
    case kModeHide: task->drawEnabled = 0; break;
    case kModeSuspend:
        task->updateEnabled = 0;
        task->drawEnabled = 0;
        break;
    case kModeResume:
        task->updateEnabled = 1;
        task->drawEnabled = 1;
        break;
    default: break;
    }
}

void SetAllTasksMode(int32_t command)
{
    for (int slot = 0; g_tasks && slot < kTaskSlots; ++slot) {
        if (g_tasks[slot].alive != 0)
            ApplyMode(&g_tasks[slot], command);
    }
}

void SetTasksModeOfKind(int32_t kind, int32_t command)
{
    for (int slot = 0; g_tasks && slot < kTaskSlots; ++slot) {
        if (g_tasks[slot].alive != 0 && g_tasks[slot].kind == kind)
            ApplyMode(&g_tasks[slot], command);
    }
}
