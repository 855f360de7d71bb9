// Every picture the battle screen cuts from the interface atlas must be one the art
// list names: a card, plate, mark or digit taken a few texels off would show part of
// its neighbour. The list (content/art/atlas_rects.csv) is read as the artists wrote
// it; the screen is drawn in each of its states for every character and monster.
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <tuple>

#include "test_board_support.h"

namespace {

using Cut = std::tuple<float, float, float, float>;

class BattleAtlas : public FrontendRun {};

TEST_F(BattleAtlas, EveryCutIsAListedPicture) {
    // "texture,left,top,right,bottom,element" after a heading; element names are unique.
    std::map<std::string, Cut> listed;
    std::map<Cut, std::string> atlasNames;
    std::ifstream f(std::string(SUGOROKU_SOURCE_DIR) + "/content/art/atlas_rects.csv");
    char texture[32];
    char element[64];
    float l, t, r, b;
    for (std::string line; std::getline(f, line);)
        if (std::sscanf(line.c_str(), "%31[^,],%f,%f,%f,%f,%63[^,\r\n]", texture, &l, &t, &r, &b, element) == 6) {
            listed[element] = {l, t, r, b};
            if (std::string(texture) == "atlas") atlasNames[{l, t, r, b}] = element;
        }
    ASSERT_GT(atlasNames.size(), 100u) << "the art list did not load";

    std::set<Cut> atlasCuts, fontCuts, others;
    // The three teams against the monsters 18..23, and once more for monster 24.
    for (auto [partyRow, groupRow] : {std::pair{0, 18}, {6, 19}, {12, 18}}) {
        KillAllTasks();
        Frames(1);
        ResetRaceResult();
        StartEnemyGroupBattle(board_test::SidePiece(10, kControllerComputer, partyRow, 6),
                              board_test::SidePiece(11, kControllerEnemy, groupRow, 6));
        BattleWork* battle = RunningBattle();
        ASSERT_NE(battle, nullptr);
        g_tasks[kBattleTaskSlot].updateEnabled = 0; // looked at state by state
        const auto show = [&](BattleProc state) {
            battle->battleProc = state;
            Frames(1);
            for (const plat::RecordedSprite& s : Sprites())
                (s.texture == g_uiAtlas ? atlasCuts : s.texture == g_fontTexture ? fontCuts : others)
                    .insert({s.srcLeft, s.srcTop, s.srcRight, s.srcBottom});
        };
        show(WaitRoundStart);
        show(ShowBattleMessages);
        for (int i = 0; i < 6; ++i) { // each member selected in turn; full, part-way and empty gauges
            battle->partySelected = battle->enemySelected = i;
            const float share = static_cast<float>(i) / 5.0f;
            battle->partyGauge = battle->partyGaugeMax * share;
            battle->enemyGauge = battle->enemyGaugeMax * (1.0f - share);
            show(RunReels);
            battle->outcome = i % 3;
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
        if (match.empty() && cl >= pl && ct >= pt && cr <= pr && cb <= pb) match = "message_window_panel";
        // A gauge shows a share of its bar: the party's from the bar's left edge, the
        // enemy's from its right edge (a full one runs one texel past the left edge).
        // An empty gauge is a cut of no width, which shows nothing.
        if (match.empty() && cl == gl && cr >= cl && cr <= gr && ct == gt && cb == gb) match = "battle_gauge_party";
        if (match.empty() && cr == er && cl <= cr && cl >= el - 1.0f && ct == et && cb == eb) match = "battle_gauge_enemy";
        EXPECT_FALSE(match.empty()) << "the battle screen cuts " << testing::PrintToString(cut) << ", not in the art list";
        shown.insert(match);
    }
    // What a player must see in a battle was drawn at all.
    for (const char* name : {"battle_frame", "battle_card_frame", "battle_name_plate", "slash_tall", "battle_reel_banner",
                             "battle_mark_win", "battle_mark_lose", "battle_mark_even", "battle_gauge_party",
                             "battle_gauge_enemy", "message_window_panel", "digit_tall_0", "digit_tall_6"})
        EXPECT_EQ(shown.count(name), 1u) << name << " was never drawn";
    for (int i = 0; i <= 24; ++i) {
        const std::string n = (i < 10 ? "0" : "") + std::to_string(i);
        EXPECT_EQ(shown.count("portrait_card_" + n) + shown.count("name_plate_" + n), 2u) << "character " << i;
    }
    // The text box's letters come from the font's glyph area.
    const auto [fl, ft, fr, fb] = listed["glyph_area"];
    EXPECT_FALSE(fontCuts.empty()) << "the battle's message showed no letters";
    for (const auto& [cl, ct, cr, cb] : fontCuts)
        EXPECT_TRUE(cl >= fl && ct >= ft && cr <= fr && cb <= fb && cl < cr && ct < cb) << "a letter outside the glyph area";
}

} // namespace
