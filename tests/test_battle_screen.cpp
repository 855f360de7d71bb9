// The battle screen on the recording device: what each state draws, and where.
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <tuple>

#include "board/task_table.h"
#include "platform/audio.h"
#include "test_board_support.h"

namespace {

class BattleScreen : public FrontendRun {
protected:
    void SetUp() override
    {
        FrontendRun::SetUp();
        if (!IsSkipped() && !HasFatalFailure())
            Open(6, 18, 3);
    }

    // The team from character row `partyRow` against `enemies` monsters from `groupRow`,
    // looked at frame by frame: the battle itself stands still.
    void Open(int partyRow, int groupRow, int enemies)
    {
        KillAllTasks();
        Frames(1);
        ResetRaceResult();
        StartEnemyGroupBattle(board_test::SidePiece(10, kControllerComputer, partyRow, 6),
                              board_test::SidePiece(11, kControllerEnemy, groupRow, enemies));
        battle_ = RunningBattle();
        ASSERT_NE(battle_, nullptr);
        g_tasks[kBattleTaskSlot].updateEnabled = 0;
    }

    void Show(BattleProc state)
    {
        battle_->battleProc = state;
        Frames(1);
    }

    // Letters drawn, the leftmost one's x (1000 for none), and whether the message panel's
    // tinted inside is drawn, 2 pixels in from (64, 384).
    static std::tuple<size_t, float, bool> Text()
    {
        std::tuple<size_t, float, bool> seen{0, 1000.0f, false};
        for (const plat::RecordedSprite& s : Sprites()) {
            if (s.texture == g_fontTexture)
                seen = {std::get<0>(seen) + 1, std::min(std::get<1>(seen), s.left), std::get<2>(seen)};
            std::get<2>(seen) |=
                s.texture == g_uiAtlas && Near(s.left, 66) && Near(s.top, 386) && s.colour == 0x96FFFFFFu;
        }
        return seen;
    }

    BattleWork* battle_ = nullptr;
};

constexpr SpriteRect kFrame = {0, 0, 640, 480};
constexpr SpriteRect kBanner = {1212, 1340, 1517, 1392};
constexpr SpriteRect kWin = {1213, 1471, 1306, 1521};
constexpr SpriteRect kLose = {1308, 1470, 1403, 1522};
constexpr SpriteRect kEven = {1213, 1417, 1405, 1465};

} // namespace

TEST_F(BattleScreen, SpinningReelsShowCardsPlatesCountsGaugesAndTheBanner)
{
    std::tie(battle_->partyCardY[0], battle_->partyCardY[1], battle_->enemyCardY[0]) = std::tuple(51, 311, 77);
    std::tie(battle_->partySelected, battle_->enemySelected, battle_->partyLive) = std::tuple(1, 0, 5);
    std::tie(battle_->partyGauge, battle_->enemyGauge) = std::tuple(30.0f, 15.0f);
    Show(RunReels);
    const std::tuple<float, float, SpriteRect> placed[] = {
        {60, 64, {1010, 1263, 1210, 1523}},
        {380, 64, {1010, 1263, 1210, 1523}}, // card frames
        // Character 6 (team 1's first) and 7, character 18 (the first monster).
        {380, 51, {0, 1001, 200, 1261}},
        {380, 311, {0, 1787, 200, 2047}},
        {60, 77, {808, 1525, 1008, 1785}},
        {0, 0, kFrame},
        {60, 336, {910, 176, 1110, 203}},
        {380, 336, {910, 176, 1110, 203}},
        // The selected names centred in their columns: character 7's is 60 wide, 18's is 79
        // (60.5 rounds away from zero).
        {450, 339, {920, 438, 980, 458}},
        {121, 339, {991, 113, 1070, 132}},
        {154, 436, {1022, 63, 1033, 85}},
        {474, 436, {1022, 63, 1033, 85}}, // the counts' slashes
        // Full party gauge from x 380; half an enemy gauge ending at x 260.
        {380, 370, {202, 596, 402, 626}},
        {160, 370, {99, 596, 199, 626}},
        {168, 8, kBanner}};
    for (const auto& [x, y, rect] : placed)
        EXPECT_TRUE(Drawn(x, y, rect)) << x << ", " << y;
    // The frame comes after every card, so it hides what lies outside the windows.
    const auto sprites = Sprites();
    const auto frame =
        std::find_if(sprites.begin(), sprites.end(), [](const auto& s) { return Near(s.right - s.left, 640); });
    EXPECT_TRUE(std::none_of(frame, sprites.end(), [](const auto& s) { return Near(s.bottom - s.top, 260); }));
    EXPECT_EQ(std::get<0>(Text()), 0u);

    // The counts read standing / total: two of the three monsters, five of the six
    // members. Tall digits 2, 3, 5, 6 and the gauges' values 15 and 30, each digit one
    // pixel after the one before.
    std::tie(battle_->enemyLive, battle_->enemySelected) = std::tuple(2, 1);
    Show(RunReels);
    const std::tuple<float, float, SpriteRect> counts[] = {
        {135, 436, {800, 1, 816, 22}},    {167, 436, {818, 1, 834, 22}},
        {455, 436, {857, 1, 873, 22}},    {487, 436, {876, 1, 892, 22}},
        {264, 370, {787, 1, 798, 22}},    {276, 370, {857, 1, 873, 22}},
        {342, 370, {818, 1, 834, 22}},    {359, 370, {768, 1, 785, 22}},
        {110, 339, {910, 134, 1010, 153}}}; // the plate names the selected monster 19, 100 wide
    for (const auto& [x, y, rect] : counts)
        EXPECT_TRUE(Drawn(x, y, rect)) << x << ", " << y;
    // The fallen third monster (character 20) has no card on the reel.
    EXPECT_TRUE(DrawnFrom({808, 1263, 1008, 1523}).empty());
}

TEST_F(BattleScreen, ClashMarksStandOverTheirColumnsAndTheSceneHasTheScreenToItself)
{
    // {outcome, x of the party's mark, x of the enemies' mark, the party's mark, the enemies'}
    const std::tuple<int, float, float, SpriteRect, SpriteRect> marks[] = {{0, 434, 113, kWin, kLose},
                                                                           {1, 433, 114, kLose, kWin},
                                                                           {2, 224, 224, kEven, kEven},
                                                                           {3, 224, 224, kEven, kEven}};
    for (const auto& [outcome, partyX, enemyX, partyMark, enemyMark] : marks) {
        battle_->outcome = outcome;
        Show(WaitClashResult);
        EXPECT_TRUE(Drawn(partyX, 8, partyMark) && Drawn(enemyX, 8, enemyMark) && DrawnFrom(kBanner).empty() &&
                    (outcome < 2 || DrawnFrom(kWin).empty()))
            << outcome;
    }
    Show(WaitBattleScene);
    EXPECT_TRUE(Sprites().empty());
}

TEST_F(BattleScreen, MessagesShowOneLineAndNothingPastTheLastRow)
{
    SetBattleMessageLine(battle_, 1, "\x90\xED\x82\xA2"); // 戦い
    battle_->messageLine = 0;
    Show(ShowBattleMessages);
    EXPECT_EQ((std::pair{Drawn(0, 0, kFrame), Text()}),
              std::pair(true, std::tuple(size_t{11}, 96.0f, true))); // eleven letters
    battle_->messageLine = 1;
    Show(WaitRoundStart);
    EXPECT_EQ(std::get<0>(Text()), 2u);
    // After the last line is paged the row number is 3 until the battle's next update.
    // Whatever lies past the three rows must not show as text.
    auto* tail = reinterpret_cast<int32_t*>(g_tasks[kBattleTaskSlot].work + sizeof(BattleWork));
    for (size_t i = 0; i < (kTaskWorkBytes - sizeof(BattleWork)) / 4; ++i)
        tail[i] = 1;
    battle_->messageLine = 3;
    Show(ShowBattleMessages);
    EXPECT_EQ((std::pair{Drawn(0, 0, kFrame), Text()}), std::pair(true, std::tuple(size_t{0}, 1000.0f, true)));
}

// Every picture the battle screen cuts from the interface atlas must be one the art
// list names: a card, plate, mark or digit taken a few texels off would show part of
// its neighbour. The list (content/art/atlas_rects.csv) is read as the artists wrote
// it; the screen is drawn in each of its states for every character and monster.
TEST_F(BattleScreen, EveryAtlasCutIsAListedPicture)
{
    // "texture,left,top,right,bottom,element" after a heading; element names are unique.
    using Cut = std::tuple<float, float, float, float>;
    std::map<std::string, Cut> listed;
    std::map<Cut, std::string> atlasNames;
    std::ifstream f(std::string(SUGOROKU_SOURCE_DIR) + "/content/art/atlas_rects.csv");
    char texture[32];
    char element[64];
    float l, t, r, b;
    for (std::string line; std::getline(f, line);)
        if (std::sscanf(line.c_str(), "%31[^,],%f,%f,%f,%f,%63[^,\r\n]", texture, &l, &t, &r, &b, element) == 6) {
            listed[element] = {l, t, r, b};
            if (std::string(texture) == "atlas")
                atlasNames[{l, t, r, b}] = element;
        }
    ASSERT_GT(atlasNames.size(), 100u) << "the art list did not load";

    std::set<Cut> atlasCuts, fontCuts, others;
    // The three teams against the monsters 18..23, and once more for monster 24.
    for (auto [partyRow, groupRow] : {std::pair{0, 18}, {6, 19}, {12, 18}}) {
        ASSERT_NO_FATAL_FAILURE(Open(partyRow, groupRow, 6));
        const auto show = [&](BattleProc state) {
            Show(state);
            for (const plat::RecordedSprite& s : Sprites())
                (s.texture == g_uiAtlas       ? atlasCuts
                 : s.texture == g_fontTexture ? fontCuts
                                              : others)
                    .insert({s.srcLeft, s.srcTop, s.srcRight, s.srcBottom});
        };
        show(WaitRoundStart);
        show(ShowBattleMessages);
        for (int i = 0; i < 6; ++i) { // each member selected in turn; full, part-way and empty gauges
            battle_->partySelected = battle_->enemySelected = i;
            const float share = static_cast<float>(i) / 5.0f;
            battle_->partyGauge = battle_->partyGaugeMax * share;
            battle_->enemyGauge = battle_->enemyGaugeMax * (1.0f - share);
            show(RunReels);
            battle_->outcome = i % 3;
            show(WaitClashResult);
        }
    }

    const auto [pl, pt, pr, pb] = listed["message_window_panel"];
    const auto [gl, gt, gr, gb] = listed["battle_gauge_party"];
    const auto [el, et, er, eb] = listed["battle_gauge_enemy"];
    std::set<std::string> shown;
    for (const Cut& cut : atlasCuts) {
        const auto [cl, ct, cr, cb] = cut;
        std::string match = atlasNames.count(cut) ? atlasNames[cut] : "";
        // The message window is cut into its border and its tinted inside.
        if (match.empty() && cl >= pl && ct >= pt && cr <= pr && cb <= pb)
            match = "message_window_panel";
        // A gauge shows a share of its bar: the party's from the bar's left edge, the
        // enemy's from its right edge (a full one runs one texel past the left edge).
        // An empty gauge is a cut of no width, which shows nothing.
        if (match.empty() && cl == gl && cr >= cl && cr <= gr && ct == gt && cb == gb)
            match = "battle_gauge_party";
        if (match.empty() && cr == er && cl <= cr && cl >= el - 1.0f && ct == et && cb == eb)
            match = "battle_gauge_enemy";
        EXPECT_FALSE(match.empty()) << "the battle screen cuts " << testing::PrintToString(cut)
                                    << ", not in the art list";
        shown.insert(match);
    }
    // What a player must see in a battle was drawn at all.
    for (const char* name :
         {"battle_frame", "battle_card_frame", "battle_name_plate", "slash_tall", "battle_reel_banner",
          "battle_mark_win", "battle_mark_lose", "battle_mark_even", "battle_gauge_party", "battle_gauge_enemy",
          "message_window_panel", "digit_tall_0", "digit_tall_6"})
        EXPECT_EQ(shown.count(name), 1u) << name << " was never drawn";
    for (int i = 100; i <= 124; ++i) // every character's card and name plate, "00" to "24"
        EXPECT_EQ(shown.count("portrait_card_" + std::to_string(i).substr(1)) +
                      shown.count("name_plate_" + std::to_string(i).substr(1)),
                  2u)
            << i;
    // The text box's letters come from the font's glyph area.
    const auto [fl, ft, fr, fb] = listed["glyph_area"];
    EXPECT_FALSE(fontCuts.empty()) << "the battle's message showed no letters";
    for (const auto& [cl, ct, cr, cb] : fontCuts)
        EXPECT_TRUE(cl >= fl && ct >= ft && cr <= fr && cb <= fb && cl < cr && ct < cb)
            << "a letter outside the glyph area";
}

// An event battle plays track 2, a battle against a group track 3, and the board's
// track 1 comes back when either ends.
TEST_F(BattleScreen, EachKindOfBattleHasItsMusicAndTheBoardsComesBack)
{
    const auto playing = [] {
        std::vector<int> tracks;
        for (int track = 0; track < 4; ++track)
            if (plat::BufferPlaying(g_music[track]))
                tracks.push_back(track);
        return tracks;
    };
    EXPECT_EQ(playing(), std::vector<int>{3});
    KillAllTasks();
    EventTask event{};
    event.piece = board_test::SidePiece(10, kControllerComputer, 6, 6);
    event.scriptSlot = -1; // no script: one monster
    StartEventBattle(&event);
    battle_ = RunningBattle();
    ASSERT_NE(battle_, nullptr);
    EXPECT_EQ(playing(), std::vector<int>{2});
    std::tie(battle_->enemyLive, battle_->messageLine) = std::tuple(0, 3); // the last line paged, nobody left
    battle_->battleProc = ShowBattleMessages;
    Frames(1);
    EXPECT_EQ((std::pair{g_tasks[kBattleTaskSlot].alive, playing()}), std::pair(0, std::vector<int>{1}));
}
