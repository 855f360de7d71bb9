// The 3D battle scene and its actors, run through the update pass: who attacks, who
// is hit, dodges or sinks, the camera's way, the skip and a scene without its actors.
#include <cmath>
#include <tuple>

#include "battle/battle_actor.h"
#include "battle/battle_scene.h"
#include "board/task_table.h"
#include "engine/assets.h"
#include "test_board_support.h"

using namespace battle_test;

namespace {

struct SceneRun {
    std::vector<int> soundFrames[kSoundEffectCount];
    int panDone = 0;      // frame in which the camera reached the defender
    int sceneEnded = 0;   // frame in which slot 151 was freed
    int messagesFrom = 0; // frame in which the battle went on to its messages
    float dodgedZ = 0.0f;
    float partyLowestY = 0.0f;
};

// A battle whose clash has the given outcome and fighters' styles, about to create its scene.
BattleWork* ClashWaitingForScene(int outcome, int32_t partyStyle, int32_t enemyStyle)
{
    StartEnemyGroupBattle(Team(10, kControllerComputer, 1), Group(11, 2));
    BattleWork* battle = Battle();
    battle->outcome = outcome;
    battle->party[0].attackStyle = partyStyle;
    battle->enemies[0].attackStyle = enemyStyle;
    battle->battleProc = WaitClashResult;
    battle->clashPause = g_gameConfig.battleAnimation = 1;
    return battle;
}

BattleActor* ActorOfSide(int side)
{
    for (Task* task = &g_tasks[80]; task < &g_tasks[100]; ++task)
        if (task->alive && task->kind == kBattleActorKind && TaskWork<BattleActor>(task)->side == side)
            return TaskWork<BattleActor>(task);
    return nullptr;
}

int LiveOfKind(int32_t kind)
{
    int n = 0;
    for (int slot = 80; slot < 100; ++slot)
        n += g_tasks[slot].alive && g_tasks[slot].kind == kind;
    return n;
}

// Frames of the update pass until the battle, if any, goes on to its messages.
SceneRun RunScene(const BattleWork* battle, int limit = 3000)
{
    SceneRun run;
    for (int frame = 1; frame <= limit && !(battle && battle->battleProc == ShowBattleMessages); ++frame) {
        ClearSoundRequests();
        UpdateAllTasks();
        for (int id = 0; id < kSoundEffectCount; ++id)
            if (g_soundRequests[id].requested)
                run.soundFrames[id].push_back(frame);
        Task* task = &g_tasks[kBattleSceneSlot];
        const BattleScene* scene = task->alive ? TaskWork<BattleScene>(task) : nullptr;
        if (!scene && !run.sceneEnded && frame > 1)
            run.sceneEnded = frame;
        if (scene && !run.panDone && scene->cameraProc == WaitBattleCamShots)
            run.panDone = frame;
        if (scene && run.panDone)
            EXPECT_LE(scene->eye[2], 0.0f); // it stays on the -z side
        if (BattleActor* defender = ActorOfSide(1))
            run.dodgedZ = defender->position[2];
        if (BattleActor* member = ActorOfSide(0))
            run.partyLowestY = std::min(run.partyLowestY, member->position[1]);
        run.messagesFrom = frame;
    }
    return run;
}

} // namespace

TEST(BattleScene, TheWinnerShootsTheCameraFollowsAndTheLoserSinks)
{
    // {outcome, the attacker's x and camera pan}: the party at x 70 faces 180, the enemy at -70 faces 0.
    for (auto [outcome, attackerX, pan] : {std::tuple{0, 70.0f, 180}, {1, -70.0f, 0}}) {
        SCOPED_TRACE(outcome);
        BattleBoard board;
        BattleWork* battle = ClashWaitingForScene(outcome, 9, 1 - outcome); // an unknown style fights as a shooter
        g_shotCounter = 0;
        UpdateAllTasks(); // the clash result ends: the scene starts with its two actors
        ASSERT_EQ((std::pair{g_tasks[kBattleSceneSlot].alive, battle->battleProc}), std::make_pair(1, WaitBattleScene));
        BattleActor* party = ActorOfSide(0);
        BattleActor* enemy = ActorOfSide(1);
        ASSERT_TRUE(party && enemy);
        EXPECT_EQ((std::vector<float>{party->position[0], party->facing, enemy->position[0], enemy->facing}),
                  (std::vector<float>{70.0f, 180.0f, -70.0f, 0.0f}));
        EXPECT_EQ((std::tuple{party->stateProc, enemy->stateProc, party->opponent, enemy->opponent}),
                  outcome == 0 ? std::make_tuple(DelayActorShot, HoldActorIdle, enemy, party)
                               : std::make_tuple(HoldActorIdle, DelayActorShot, enemy, party));
        const BattleScene* scene = TaskWork<BattleScene>(&g_tasks[kBattleSceneSlot]);
        EXPECT_EQ((std::tuple{scene->panDirection, scene->target[0], scene->eye[1]}),
                  std::make_tuple(pan, attackerX, 5.0f));
        // The eye starts 25 from the attacker, toward its opponent and on the -z side.
        EXPECT_NEAR(scene->eye[0], attackerX - std::copysign(17.67f, attackerX), 0.05f);
        EXPECT_NEAR(scene->eye[2], -17.67f, 0.05f);

        const SceneRun run = RunScene(battle);
        ASSERT_EQ(run.soundFrames[10].size(), 1u); // one side sinks
        EXPECT_TRUE(run.soundFrames[10][0] > run.panDone && run.sceneEnded > run.soundFrames[10][0] + 20);
        EXPECT_EQ(run.messagesFrom, run.sceneEnded + 1); // the battle (slot 149) sees it in the next frame
        for (int32_t kind : {kBattleActorKind, kShotKind, kHitEffectKind})
            EXPECT_EQ(LiveOfKind(kind), 0);
        // The fan in the shooter's 40th frame, every shot hitting the idle or tumbling enemy,
        // and 41 + 109 + 140 camera steps from the scene's first update.
        if (outcome == 0)
            EXPECT_EQ((std::tuple{run.soundFrames[3], run.soundFrames[1].size(), run.panDone}),
                      std::tuple(std::vector<int>{40}, 6u, 289));
        // A party member sinks until the model's top is more than a unit below the floor.
        const float height = g_modelTable[g_characters[6].modelId].height;
        if (outcome == 1)
            EXPECT_TRUE(run.partyLowestY + height + 1.0f < 0.0f && run.partyLowestY + height + 1.25f >= 0.0f);
    }
}

TEST(BattleScene, ATieMakesTheDefenderDodgeAndNobodySinks)
{
    BattleBoard board;
    BattleWork* battle = ClashWaitingForScene(2, 1, 0);
    UpdateAllTasks();
    EXPECT_EQ((std::tuple{ActorOfSide(0)->stateProc, ActorOfSide(1)->stateProc}),
              std::make_tuple(DelayActorCharge, AwaitActorHit));
    const SceneRun run = RunScene(battle);
    // The charge in frame 40, the burst in 128; a dodger is never hit, nobody sinks in a tie.
    EXPECT_EQ((std::tuple{run.soundFrames[9], run.soundFrames[11], run.soundFrames[1].size(),
                          run.soundFrames[10].size(), std::fabs(run.dodgedZ)}),
              std::tuple(std::vector<int>{40}, std::vector<int>{128}, 0u, 0u, 6.0f));
    EXPECT_GT(run.messagesFrom, run.panDone);
}

TEST(BattleScene, ShotsLeaveTheirSpiralOneAfterAnother)
{
    BattleBoard board;
    g_shotCounter = 0;
    BattleActor* shooter = CreateBattleActor(70, 0, 0, 180, 0, 0, nullptr, HoldActorIdle);
    shooter->opponent = CreateBattleActor(-70, 0, 0, 0, 0, 1, shooter, HoldActorDodged);
    FireShotFanPositive(shooter, 70.0f, 1.0f, 0.0f);
    EXPECT_EQ((std::tuple{LiveOfKind(kShotKind), g_shotCounter}), std::make_tuple(6, 0));
    std::vector<int> left(6, 0);
    for (int frame = 1; frame <= 120; ++frame) {
        UpdateAllTasks();
        for (int i = 0; i < 6; ++i)
            if (!left[i] && g_tasks[82 + i].alive && TaskWork<Shot>(&g_tasks[82 + i])->stateProc == FlyShot)
                left[i] = frame;
    }
    EXPECT_EQ(left, (std::vector<int>{109, 102, 95, 91, 84, 78}));
}

// A shot and a burst effect, each flying straight at an idle actor: the one within 2
// units strikes (sound 1, the actor tumbles away from its opponent) and shows its
// impact for 25 frames.
TEST(BattleScene, AShotOrBurstEffectInReachKnocksItsTargetOver)
{
    BattleBoard board;
    BattleActor* party = CreateBattleActor(70, 0, 0, 180, 0, 0, nullptr, HoldActorIdle);
    BattleActor* enemy = CreateBattleActor(-70, 0, 0, 0, 0, 1, party, HoldActorIdle);
    ASSERT_EQ((std::pair{CreateShot(65.5f, 1.0f, 0.0f, 0.0f, 0.0f, party),
                         CreateHitEffect(-65.5f, 1.0f, 0.0f, 180.0f, 0, enemy)}),
              std::pair(1, 1));
    Shot* shot = TaskWork<Shot>(&g_tasks[82]);
    HitEffect* effect = TaskWork<HitEffect>(&g_tasks[83]);
    shot->stateProc = FlyShot; // straight on, without the spiral
    // The shot steps 1.0 a frame and is 1.5 from the party in frame 3; the effect waits
    // one frame, then reaches 1.5 from the enemy in frame 4.
    EXPECT_EQ(RunScene(nullptr, 4).soundFrames[1], (std::vector<int>{3, 4}));
    // The shot has already faded one frame of its 25.
    EXPECT_EQ((std::tuple{shot->stateProc, shot->impactTimer, shot->effectModel}), std::make_tuple(FadeShot, 24, 2));
    EXPECT_EQ((std::tuple{effect->stateProc, effect->timer, effect->effectModel}),
              std::make_tuple(FadeHitEffect, 25, 2));
    // The party has tumbled one frame (2 degrees) from 270; the enemy starts from 90.
    EXPECT_EQ((std::tuple{party->stateProc, party->lean, enemy->stateProc, enemy->lean}),
              std::make_tuple(TumbleActor, 272.0f, TumbleActor, 90.0f));
    for (int frame = 5; frame <= 29; ++frame)
        UpdateAllTasks();
    EXPECT_EQ((std::tuple{g_tasks[82].alive, g_tasks[83].alive}), std::make_tuple(0, 0));
}

TEST(BattleScene, ReturnOrZOrNoRoomForBothActorsEndsTheSceneAndTheBattleGoesOn)
{
    for (int key : {int{kKeyReturn}, int{kKeyZ}, 0}) { // 0: no key, but room for one actor only
        BattleBoard board;
        BattleWork* battle = ClashWaitingForScene(0, 0, 0);
        for (int slot = 80; key == 0 && slot < 99; ++slot)
            CreateTask(slot)->alive = 1;
        if (key != 0)
            BoardWorld::PressKeys({key});
        UpdateAllTasks(); // created, and ended in its first update
        BoardWorld::ReleaseKeys();
        EXPECT_EQ((std::pair{g_tasks[kBattleSceneSlot].alive, LiveOfKind(kBattleActorKind)}), std::pair(0, 0)) << key;
        UpdateAllTasks();
        EXPECT_EQ(battle->battleProc, ShowBattleMessages);
    }
}
