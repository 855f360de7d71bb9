// The 3D battle scene and its actors, run through the update pass: who attacks, who
// is hit, dodges or sinks, the camera's way, the skip and a scene without its actors.
#include <cmath>
#include <set>
#include <tuple>

#include "battle/battle_actor.h"
#include "battle/battle_scene.h"
#include "board/task_table.h"
#include "engine/assets.h"
#include "engine/draw3d.h"
#include "test_board_support.h"
#include "test_gfx_support.h"

using namespace battle_test;

namespace {

struct SceneRun {
    std::vector<int> soundFrames[kSoundEffectCount];
    int panDone = 0;       // frame in which the camera reached the defender
    int countdownFrom = 0; // frame in which the last 20 frames began
    int sceneEnded = 0;    // frame in which slot 151 was freed
    int messagesFrom = 0;  // frame in which the battle went on to its messages
    float dodgedZ = 0.0f;
    float partyLowestY = 0.0f;
    float panRadius = 0.0f; // the eye's distance from the target once the pan ends
    std::set<float> effectHeights;
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
    // The clash has felled the first card of the losing side; the scene must still show it.
    if (outcome == 0)
        battle->enemies[0].hitPoints = 0.0f;
    if (outcome == 1)
        battle->party[0].hitPoints = 0.0f;
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
        if (scene && !run.panDone && scene->cameraProc == WaitBattleCamShots) {
            run.panDone = frame;
            run.panRadius = scene->radius;
        }
        if (scene && !run.countdownFrom && scene->cameraProc == CountDownBattleScene)
            run.countdownFrom = frame;
        for (int slot = 80; slot < 100; ++slot)
            if (g_tasks[slot].alive && g_tasks[slot].kind == kHitEffectKind)
                run.effectHeights.insert(TaskWork<HitEffect>(&g_tasks[slot])->position[1]);
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

// Frames of the update pass (120 at most) until each shot of a fan in slots 82 to 87
// leaves its spiral.
std::vector<int> SpiralExits()
{
    std::vector<int> left(6, 0);
    for (int frame = 1; frame <= 120; ++frame) {
        UpdateAllTasks();
        for (int i = 0; i < 6; ++i)
            if (!left[i] && g_tasks[82 + i].alive && TaskWork<Shot>(&g_tasks[82 + i])->stateProc == FlyShot)
                left[i] = frame;
    }
    return left;
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
        // Team 1's first member and the first monster, whichever of them fell.
        EXPECT_EQ((std::pair{party->model, enemy->model}), std::pair(6, 18));
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
        // The eye zoomed out to 1.3 times its start distance of 25; the scene ends 20
        // frames after the actors are idle.
        EXPECT_EQ((std::pair{run.panRadius, run.sceneEnded - run.countdownFrom}), std::pair(32.5f, 20));
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

// Every character fights in the scene as its row says: rows 8, 11 and 21 to 24 charge,
// all others shoot, whether it is the party's member or the enemy that wins.
TEST(BattleScene, EachCharacterRowChargesOrShootsByItsAttackStyle)
{
    const std::set<int> chargers = {8, 11, 21, 22, 23, 24};
    for (int row = 0; row < 25; ++row) {
        const bool charges = chargers.count(row) != 0;
        EXPECT_EQ(g_characters[row].attackStyle, charges ? 1 : 0) << "row " << row;
        // The loser is a row of the other style, so that a scene reading the wrong
        // side's style is seen.
        const int other = charges ? 0 : 8;
        for (int outcome : {0, 1}) {
            SCOPED_TRACE(::testing::Message() << "row " << row << " outcome " << outcome);
            BattleBoard board;
            BattleWork* battle = ClashWaitingForScene(outcome, 0, 0);
            battle->party[0] = g_characters[outcome == 0 ? row : other];
            battle->enemies[0] = g_characters[outcome == 0 ? other : row];
            UpdateAllTasks();
            const BattleActor* attacker = ActorOfSide(outcome);
            ASSERT_NE(attacker, nullptr);
            EXPECT_EQ((std::pair{attacker->model, attacker->stateProc}),
                      std::pair(row, charges ? &DelayActorCharge : &DelayActorShot));
            KillAllTasks();
        }
    }
}

TEST(BattleScene, ATieMakesTheDefenderDodgeAndNobodySinks)
{
    const float savedHeight = g_modelTable[6].height;
    g_modelTable[6].height = 8.0f; // the charging party member, team 1's first
    std::set<float> dodgedTo;
    for (uint32_t seed : {1u, 3u}) { // the dodge goes either way at random
        BattleBoard board;
        BattleWork* battle = ClashWaitingForScene(2, 1, 0);
        SeedRandom(seed);
        UpdateAllTasks();
        EXPECT_EQ((std::tuple{ActorOfSide(0)->stateProc, ActorOfSide(1)->stateProc}),
                  std::make_tuple(DelayActorCharge, AwaitActorHit));
        const SceneRun run = RunScene(battle);
        // The charge in frame 40, the burst in 128; a dodger is never hit, nobody sinks in a tie.
        EXPECT_EQ((std::tuple{run.soundFrames[9], run.soundFrames[11], run.soundFrames[1].size(),
                              run.soundFrames[10].size(), std::fabs(run.dodgedZ)}),
                  std::tuple(std::vector<int>{40}, std::vector<int>{128}, 0u, 0u, 6.0f));
        EXPECT_GT(run.messagesFrom, run.panDone);
        // The burst starts 1 ahead of the charger (x 69), at half its height. The first
        // effect flies from frame 129, a unit a frame (off the axis by a little, as
        // positions on circles take pi as 3.14), and comes within 6 of the dodger for its
        // update of frame 263. The last waits 30 updates, flies from frame 158 and passes
        // x -140 in frame 367; the actors are idle in 368, and the scene ends 20 frames later.
        EXPECT_EQ((std::tuple{run.soundFrames[2], run.effectHeights, run.countdownFrom, run.sceneEnded}),
                  std::tuple(std::vector<int>{263}, std::set<float>{4.0f}, 368, 388))
            << "seed " << seed;
        dodgedTo.insert(run.dodgedZ);
    }
    g_modelTable[6].height = savedHeight;
    EXPECT_EQ(dodgedTo, (std::set<float>{-6.0f, 6.0f}));
}

TEST(BattleScene, ShotsLeaveTheirSpiralOneAfterAnother)
{
    BattleBoard board;
    g_shotCounter = 0;
    BattleActor* shooter = CreateBattleActor(70, 0, 0, 180, 0, 0, nullptr, HoldActorIdle);
    shooter->opponent = CreateBattleActor(-70, 0, 0, 0, 0, 1, shooter, HoldActorDodged);
    FireShotFanPositive(shooter, 70.0f, 1.0f, 0.0f);
    EXPECT_EQ((std::tuple{LiveOfKind(kShotKind), g_shotCounter}), std::make_tuple(6, 0));
    EXPECT_EQ(SpiralExits(), (std::vector<int>{109, 102, 95, 91, 84, 78}));
}

// Either side's fan: the six shots leave their spirals after the same frames, and
// either side's charge leans 45 degrees away from its opponent and releases its burst
// in its 128th frame.
TEST(BattleScene, EachSideFansItsShotsAndChargesAwayFromItsOpponent)
{
    for (int side : {0, 1}) {
        SCOPED_TRACE(side);
        BattleBoard board;
        g_shotCounter = 0;
        const float x = side == 0 ? 70.0f : -70.0f;
        BattleActor* shooter = CreateBattleActor(x, 0, 0, side == 0 ? 180 : 0, 0, side, nullptr, HoldActorIdle);
        shooter->opponent = CreateBattleActor(-x, 0, 0, side == 0 ? 0 : 180, 0, 1 - side, shooter, HoldActorDodged);
        (side == 0 ? FireShotFanPositive : FireShotFanNegative)(shooter, x, 1.0f, 0.0f);
        EXPECT_EQ(SpiralExits(), (std::vector<int>{109, 102, 95, 91, 84, 78}));
        KillAllTasks();

        BattleActor* charger = CreateBattleActor(x, 0, 0, side == 0 ? 180 : 0, 0, side, nullptr, DelayActorCharge);
        charger->opponent = CreateBattleActor(-x, 0, 0, side == 0 ? 0 : 180, 0, 1 - side, charger, HoldActorDodged);
        float farthest = 0.0f;
        int burst = 0;
        for (int frame = 1; frame <= 140 && burst == 0; ++frame) {
            ClearSoundRequests();
            UpdateAllTasks();
            farthest = side == 0 ? std::min(farthest, charger->lean) : std::max(farthest, charger->lean);
            if (g_soundRequests[11].requested)
                burst = frame;
        }
        EXPECT_EQ(std::pair(farthest, burst), std::pair(side == 0 ? -45.0f : 45.0f, 128));
        KillAllTasks();
    }
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
    // Each stands upright and idle again 45 frames after its hit: frames 48 and 49.
    for (int frame = 30; frame <= 48; ++frame)
        UpdateAllTasks();
    EXPECT_EQ((std::tuple{party->stateProc, party->lean, enemy->stateProc, enemy->lean}),
              std::make_tuple(HoldActorIdle, 0.0f, TumbleActor, 2.0f));
    UpdateAllTasks();
    EXPECT_EQ((std::tuple{enemy->stateProc, enemy->lean}), std::make_tuple(HoldActorIdle, 0.0f));
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

// A skip while shots or burst effects fly ends them with the actors.
TEST(BattleScene, ASkipEndsTheProjectilesInFlightToo)
{
    // {attack style, frames run, kind in flight}: the fan comes in the shooter's 40th
    // frame, the burst in the charger's 128th; the actors first run in the scene's second.
    for (auto [style, frames, kind] : {std::tuple{0, 45, kShotKind}, {1, 130, kHitEffectKind}}) {
        BattleBoard board;
        ClashWaitingForScene(0, style, 0);
        for (int frame = 0; frame < frames; ++frame)
            UpdateAllTasks();
        EXPECT_EQ(LiveOfKind(kind), 6) << style;
        BoardWorld::PressKeys({kKeyZ});
        UpdateAllTasks();
        BoardWorld::ReleaseKeys();
        EXPECT_EQ((std::vector<int>{g_tasks[kBattleSceneSlot].alive, LiveOfKind(kBattleActorKind),
                                    LiveOfKind(kShotKind), LiveOfKind(kHitEffectKind)}),
                  (std::vector<int>{0, 0, 0, 0}))
            << style;
    }
}

// The floor seen from the scene's first camera (25 from the party's character at 225
// degrees): of the 150 x 150 quads of 2 units from (-150, 150), those whose sphere of
// radius 4 about the centre is in view, each mapping the whole of board texture 1.
TEST(BattleScene, TheFloorDrawsTheQuadsWhoseSphereOfFourIsInView)
{
    gfx_test::RecordingDevice device;
    struct Textures { // the device releases them; the table must not keep them
        ~Textures()
        {
            for (plat::Texture*& t : g_textures)
                t = nullptr;
        }
    } textures;
    for (plat::Texture*& t : g_textures)
        t = device.MakeTexture(2, 2);
    BattleScene scene{};
    const float party[3] = {70.0f, 0.0f, 0.0f};
    InitBattleCamera(&scene, party, 225.0f);
    SetCameraTransforms(scene.target, scene.eye);
    UpdateFrustumPlanes();
    DrawBattleFloor();
    std::vector<std::tuple<float, float, float, const plat::Texture*>> expected;
    int nearTheEdge = 0; // in view only by the sphere's last 2 units
    for (int i = 0; i < 150; ++i) {
        for (int j = 0; j < 150; ++j) {
            const float x = -150.0f + 2.0f * static_cast<float>(j), z = 150.0f - 2.0f * static_cast<float>(i);
            if (IsSphereInFrustum(x + 1.0f, 0.0f, z - 1.0f, 4.0f))
                expected.emplace_back(x, 0.0f, z, g_textures[1]);
            nearTheEdge +=
                IsSphereInFrustum(x + 1.0f, 0.0f, z - 1.0f, 4.0f) != IsSphereInFrustum(x + 1.0f, 0.0f, z - 1.0f, 2.0f);
        }
    }
    const plat::RecordedFrame& frame = plat::CurrentRecordedFrame();
    std::vector<std::tuple<float, float, float, const plat::Texture*>> drawn;
    for (const plat::RecordedDraw* d : frame.WorldFans())
        drawn.emplace_back(frame.WorldVertexOf(*d, 0).x, frame.WorldVertexOf(*d, 0).y, frame.WorldVertexOf(*d, 0).z,
                           d->texture);
    EXPECT_TRUE(nearTheEdge > 0 && expected.size() < 2000u) << nearTheEdge << " " << expected.size();
    EXPECT_EQ(drawn, expected);
    // Each quad's corners in fan order, with the texture's corners.
    ASSERT_FALSE(frame.WorldFans().empty() || expected.empty());
    const plat::RecordedDraw& first = *frame.WorldFans()[0];
    const auto [x, y, z, texture] = expected[0];
    std::vector<std::array<float, 5>> corners;
    for (uint32_t v = 0; v < 4; ++v) {
        const plat::WorldVertex w = frame.WorldVertexOf(first, v);
        corners.push_back({w.x - x, w.y, w.z - z, w.u, w.v});
    }
    EXPECT_EQ(corners, (std::vector<std::array<float, 5>>{
                           {0, 0, 0, 0, 0}, {2, 0, 0, 1, 0}, {2, 0, -2, 1, 1}, {0, 0, -2, 0, 1}}));
}
