// The task pool and its passes: creation, killing, the order of a pass and the modes.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "engine/task.h"

namespace {

std::vector<int> g_order;

void RecordUpdate(Task* task)
{
    g_order.push_back(static_cast<int>(task - g_tasks));
}

Task* Spawn(int slot, TaskProc update = RecordUpdate, int kind = 0)
{
    Task* task = CreateTask(slot);
    if (task)
        StartTask(task, kind, update, RecordUpdate);
    return task;
}

TEST(TaskPool, CreationChecksThePoolBoundsUseAndZeroesTheRecord)
{
    // Without a pool (a failed start, or after shutdown) every operation does nothing.
    ASSERT_EQ(g_tasks, nullptr);
    EXPECT_TRUE(CreateTask(3) == nullptr && CreateTaskInRange(10, 20) == nullptr);
    UpdateAllTasks();
    DrawAllTasks();
    KillAllTasks();
    SetAllTasksMode(kModeResume);

    ASSERT_EQ(InitTaskPool(), 1);
    EXPECT_TRUE(CreateTask(-1) == nullptr && CreateTask(200) == nullptr);
    EXPECT_EQ(Spawn(199), &g_tasks[199]);
    EXPECT_EQ(CreateTask(199), nullptr) << "a live slot is not handed out twice";
    // The range excludes its last slot.
    Spawn(10);
    Spawn(11);
    EXPECT_EQ(CreateTaskInRange(10, 20), &g_tasks[12]);
    for (int s = 12; s < 20; ++s)
        Spawn(s);
    EXPECT_EQ(CreateTaskInRange(10, 20), nullptr);
    for (int s = 80; s < 99; ++s)
        Spawn(s);
    EXPECT_EQ(CreateTaskInRange(80, 100), &g_tasks[99]);
    for (auto [first, end] : {std::pair{0, 200}, {5, 5}, {-1, 5}})
        EXPECT_EQ(CreateTaskInRange(first, end), nullptr) << first;

    Task* task = Spawn(5);
    task->work[100] = 0xAB;
    task->param = 7;
    KillTask(task);
    EXPECT_EQ(task->work[100], 0xAB) << "killing leaves the work area for readers in the same frame";
    ASSERT_EQ(CreateTask(5), task);
    EXPECT_EQ((std::vector<int>{task->work[100], task->param, task->alive}), (std::vector<int>{0, 0, 0}));
    FreeTaskPool();
}

TEST(TaskPool, UpdatePassReadsFlagsWhenItReachesASlotAndModesSwitchThem)
{
    ASSERT_EQ(InitTaskPool(), 1);
    const auto Run = [](int slot, TaskProc update, int other = -1) {
        ClearTaskPool();
        g_order.clear();
        Spawn(slot, update);
        if (other >= 0)
            Spawn(other);
        UpdateAllTasks();
    };
    Run(50, [](Task*) {
        g_order.push_back(50);
        Spawn(60);
        Spawn(40);
    });
    EXPECT_EQ(g_order, (std::vector<int>{50, 60})) << "a later slot runs in the same pass, an earlier one next frame";
    g_order.clear();
    g_tasks[50].update = RecordUpdate;
    UpdateAllTasks();
    EXPECT_EQ(g_order, (std::vector<int>{40, 50, 60}));
    Run(
        30,
        [](Task*) {
            g_order.push_back(30);
            KillTask(&g_tasks[31]);
        },
        31);
    EXPECT_EQ(g_order, (std::vector<int>{30})) << "a task killed earlier in the pass is not called";
    Run(50, [](Task*) {
        g_order.push_back(50);
        KillAllTasks();
        Spawn(70);
        Spawn(20);
    });
    EXPECT_EQ(g_order, (std::vector<int>{50, 70}));
    EXPECT_TRUE(!g_tasks[50].alive && g_tasks[20].alive);
    // Killed and made again ahead of the pass: the new procedure runs.
    Run(
        10,
        [](Task*) {
            g_order.push_back(10);
            KillTask(&g_tasks[12]);
            Spawn(12)->update = [](Task*) { g_order.push_back(1200); };
        },
        12);
    EXPECT_EQ(g_order, (std::vector<int>{10, 1200}));

    ClearTaskPool();
    Task* a = Spawn(1, RecordUpdate, 3);
    Task* b = Spawn(2, RecordUpdate, 1);
    // Update and draw flags of a and b after each command; unknown modes change nothing,
    // a freeze touches the update flag only.
    const struct {
        int kind, mode, flags[4];
    } steps[] = {
        {-1, 9, {1, 1, 1, 1}},           {-1, 14, {1, 1, 1, 1}},       {-1, kModeFreeze, {0, 1, 0, 1}},
        {-1, kModeResume, {1, 1, 1, 1}}, {3, kModeHide, {1, 0, 1, 1}}, {1, kModeSuspend, {1, 0, 0, 0}},
        {3, kModeFreeze, {0, 0, 0, 0}},
    };
    for (const auto& step : steps) {
        step.kind < 0 ? SetAllTasksMode(step.mode) : SetTasksModeOfKind(step.kind, step.mode);
        EXPECT_EQ((std::vector<int>{a->updateEnabled, a->drawEnabled, b->updateEnabled, b->drawEnabled}),
                  std::vector<int>(step.flags, step.flags + 4))
            << step.kind << " " << step.mode;
    }
    EXPECT_EQ(g_tasks[9].updateEnabled, 0) << "free slots are never changed";
    Spawn(5);
    g_order.clear();
    UpdateAllTasks();
    EXPECT_EQ(g_order, (std::vector<int>{5})) << "a task created after a freeze still runs";
    KillTasksOfKind(3);
    EXPECT_TRUE(a->alive == 0 && b->alive == 1);
    FreeTaskPool();
}

} // namespace
