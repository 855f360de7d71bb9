// The task pool: every screen and game object is one of 200 fixed slots, run in
// slot order by the update and draw passes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <type_traits>

struct Task;
using TaskProc = void (*)(Task*);

constexpr int kTaskSlots = 200;
constexpr int kTaskWorkBytes = 2048;

struct Task {
    int32_t alive;         // 0 = the slot is free
    int32_t updateEnabled; // non-zero: the update pass calls update
    int32_t drawEnabled;   // non-zero: the draw pass calls draw
    int32_t kind;
    int32_t param; // the creator's word; the scheduler never reads it
    TaskProc update;
    TaskProc draw;
    alignas(16) unsigned char work[kTaskWorkBytes]; // the kind's own record, zeroed at creation
};

// Mode commands for SetAllTasksMode / SetTasksModeOfKind.
enum : int32_t {
    kModeFreeze = 10,  // update off, still drawn
    kModeHide = 11,    // draw off, still updated
    kModeSuspend = 12, // both off
    kModeResume = 13,  // both on
};

extern Task* g_tasks;

// Every kind's work area is its own record; it must fit the slot and start with
// its alive word. Checked at compile time wherever it is reached.
template <class W>
constexpr bool FitsTaskWork()
{
    return sizeof(W) <= kTaskWorkBytes && alignof(W) <= 16 && std::is_trivially_copyable_v<W> &&
           std::is_standard_layout_v<W>;
}

#define CHECK_TASK_WORK(W)                                                                                             \
    static_assert(FitsTaskWork<W>(), #W " must be a plain record that fits a task's 2048-byte work area")

template <class W>
inline W* TaskWork(Task* task)
{
    static_assert(FitsTaskWork<W>(), "work area record does not fit a task slot");
    return reinterpret_cast<W*>(task->work);
}

template <class W>
inline const W* TaskWork(const Task* task)
{
    static_assert(FitsTaskWork<W>(), "work area record does not fit a task slot");
    return reinterpret_cast<const W*>(task->work);
}

// The work area's word 0, the task's own alive flag by convention.
inline int32_t& TaskWorkAlive(Task* task)
{
    return *reinterpret_cast<int32_t*>(task->work);
}

void* AllocMemory(size_t size);
void FreeMemory(void* block);

int InitTaskPool();
void ClearTaskPool();
void FreeTaskPool();

Task* CreateTask(int slot);
Task* CreateTaskInRange(int first, int last); // last is excluded
// Switches a freshly taken slot on as the given kind: alive, updated and drawn.
void StartTask(Task* task, int32_t kind, TaskProc update, TaskProc draw);
void UpdateAllTasks();
void DrawAllTasks();
void KillTask(Task* task);
void KillAllTasks();
void KillTasksOfKind(int32_t kind);
void SetAllTasksMode(int32_t command);
void SetTasksModeOfKind(int32_t kind, int32_t command);
