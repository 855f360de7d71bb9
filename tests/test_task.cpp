#include <gtest/gtest.h>

#include <vector>

#include "engine/task.h"

namespace {

struct PoolGuard {
    PoolGuard() { EXPECT_EQ(InitTaskPool(), 1); }
    ~PoolGuard() { FreeTaskPool(); }
};

std::vector<int> g_order;

void RecordUpdate(Task* task) { g_order.push_back(static_cast<int>(task - g_tasks)); }

Task* Spawn(int slot, TaskProc update = RecordUpdate)
{
    Task* task = CreateTask(slot);
    if (task) {
        task->alive = task->updateEnabled = task->drawEnabled = 1;
        task->update = update;
        task->draw = RecordUpdate;
    }
    return task;
}

} // namespace

TEST(TaskPool, CreateTaskChecksSlotBoundsAndUse)
{
    PoolGuard pool;
    EXPECT_TRUE(CreateTask(-1) == nullptr && CreateTask(200) == nullptr);
    EXPECT_EQ(Spawn(199), &g_tasks[199]);
    EXPECT_EQ(CreateTask(199), nullptr) << "a live slot is not handed out twice";
}

TEST(TaskPool, RangeExcludesItsLastSlot)
{
    PoolGuard pool;
    Spawn(10);
    Spawn(11);
    EXPECT_EQ(CreateTaskInRange(10, 20), &g_tasks[12]);
    for (int s = 10; s < 20; ++s)
        if (!g_tasks[s].alive) Spawn(s);
    EXPECT_EQ(CreateTaskInRange(10, 20), nullptr);

    for (int s = 80; s < 99; ++s) Spawn(s);
    EXPECT_EQ(CreateTaskInRange(80, 100), &g_tasks[99]);
    for (auto [first, end] : {std::pair{0, 200}, {5, 5}, {-1, 5}})
        EXPECT_EQ(CreateTaskInRange(first, end), nullptr) << first << ".." << end;
    EXPECT_NE(CreateTaskInRange(150, 199), nullptr);
}

TEST(TaskPool, CreationZeroesTheWholeRecord)
{
    PoolGuard pool;
    Task* task = Spawn(5);
    task->work[100] = 0xAB;
    task->param = 7;
    KillTask(task);
    EXPECT_EQ(task->work[100], 0xAB) << "killing leaves the work area for readers in the same frame";
    Task* again = CreateTask(5);
    ASSERT_EQ(again, task);
    // The creator sets alive.
    EXPECT_EQ((std::vector<int>{again->work[100], again->param, again->alive}), (std::vector<int>{0, 0, 0}));
}

namespace {
void SpawnLaterAndEarlier(Task*)
{
    g_order.push_back(50);
    Spawn(60);
    Spawn(40);
}

void KillAllThenSpawn(Task* self)
{
    g_order.push_back(static_cast<int>(self - g_tasks));
    KillAllTasks();
    Spawn(70);
    Spawn(20);
}

void KillsNext(Task*)
{
    g_order.push_back(30);
    KillTask(&g_tasks[31]);
}

void ClearsOwnAlive(Task* task)
{
    g_order.push_back(static_cast<int>(task - g_tasks));
    TaskWorkAlive(task) = 0;
    if (TaskWorkAlive(task) == 0)
        task->alive = 0;
}
} // namespace

TEST(TaskPool, UpdatePassReadsFlagsWhenItReachesASlot)
{
    PoolGuard pool;
    const auto Restart = [] { ClearTaskPool(); g_order.clear(); };
    g_order.clear();
    Spawn(50, SpawnLaterAndEarlier);
    UpdateAllTasks();
    EXPECT_EQ(g_order, (std::vector<int>{50, 60})) << "a later slot runs in the same pass, an earlier one next frame";
    g_order.clear();
    g_tasks[50].update = RecordUpdate;
    UpdateAllTasks();
    EXPECT_EQ(g_order, (std::vector<int>{40, 50, 60}));

    Restart();
    Spawn(30, KillsNext);
    Spawn(31);
    UpdateAllTasks();
    EXPECT_EQ(g_order, (std::vector<int>{30})) << "a task killed earlier in the pass is not called";

    Restart();
    Spawn(50, KillAllThenSpawn);
    UpdateAllTasks();
    EXPECT_EQ(g_order, (std::vector<int>{50, 70}));
    EXPECT_TRUE(!g_tasks[50].alive && g_tasks[20].alive);

    // Killed and made again ahead of the pass: the new procedure runs.
    Restart();
    static auto recreate = [](Task*) {
        g_order.push_back(10);
        KillTask(&g_tasks[12]);
        Task* t = Spawn(12);
        t->update = [](Task*) { g_order.push_back(1200); };
    };
    Spawn(10, recreate);
    Spawn(12);
    UpdateAllTasks();
    EXPECT_EQ(g_order, (std::vector<int>{10, 1200}));

    // A task clearing its work area's alive word is freed and not drawn.
    Restart();
    Task* t = Spawn(3, ClearsOwnAlive);
    TaskWorkAlive(t) = 1;
    UpdateAllTasks();
    EXPECT_EQ(t->alive, 0);
    g_order.clear();
    DrawAllTasks();
    EXPECT_TRUE(g_order.empty());
}

TEST(TaskPool, ModeCommands)
{
    PoolGuard pool;
    Task* a = Spawn(1);
    a->kind = 3;
    Task* b = Spawn(2);
    b->kind = 1;
    const auto flags = [](const Task* t) { return std::make_pair(int(t->updateEnabled), int(t->drawEnabled)); };
    SetAllTasksMode(9);
    SetAllTasksMode(14);
    EXPECT_EQ(flags(a), std::make_pair(1, 1)) << "unknown modes change nothing";

    SetAllTasksMode(kModeFreeze);
    EXPECT_EQ(flags(a), std::make_pair(0, 1));
    Task* fresh = Spawn(5);
    g_order.clear();
    UpdateAllTasks();
    EXPECT_EQ(g_order, (std::vector<int>{5})) << "a task created after a freeze still runs";
    EXPECT_EQ(fresh->updateEnabled, 1);

    SetAllTasksMode(kModeResume);
    SetTasksModeOfKind(3, kModeHide);
    EXPECT_TRUE(a->drawEnabled == 0 && b->drawEnabled == 1);
    SetTasksModeOfKind(1, kModeSuspend);
    EXPECT_EQ(flags(b), std::make_pair(0, 0));

    Task* freeSlot = &g_tasks[9];
    SetAllTasksMode(kModeResume);
    EXPECT_EQ(freeSlot->updateEnabled, 0) << "free slots are never changed";

    KillTasksOfKind(3);
    EXPECT_TRUE(a->alive == 0 && b->alive == 1);
}

TEST(TaskPool, OperationsWithoutAPoolDoNothing)
{
    ASSERT_EQ(g_tasks, nullptr);
    EXPECT_TRUE(CreateTask(3) == nullptr && CreateTaskInRange(10, 20) == nullptr);
    UpdateAllTasks();
    DrawAllTasks();
    KillAllTasks();
    SetAllTasksMode(kModeResume);
}
