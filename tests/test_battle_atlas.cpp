// Every picture the battle screen cuts from the interface atlas must be one the art
// list names: a card, plate, mark or digit taken a few texels off would show part of
// its neighbour. The list (content/art/atlas_rects.csv) is read as the artists wrote
// it; the screen is drawn in each of its states for every character and monster.
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "battle/battle.h"
#include "board/characters.h"
#include "board/piece.h"
#include "board/race_result.h"
#include "test_board_support.h"

namespace {

struct ListedRect {
    std::string texture, element;
    float left, top, right, bottom;
};

std::vector<ListedRect> ReadArtList()
{
    std::vector<ListedRect> rows;
    std::ifstream f(std::string(SUGOROKU_SOURCE_DIR) + "/content/art/atlas_rects.csv");
    std::string line;
    std::getline(f, line); // the heading
    while (std::getline(f, line)) {
        std::istringstream fields(line);
        ListedRect row{};
        std::string left, top, right, bottom;
        std::getline(fields, row.texture, ',');
        std::getline(fields, left, ',');
        std::getline(fields, top, ',');
        std::getline(fields, right, ',');
        std::getline(fields, bottom, ',');
        std::getline(fields, row.element, ',');
        row.left = std::stof(left);
        row.top = std::stof(top);
        row.right = std::stof(right);
        row.bottom = std::stof(bottom);
        rows.push_back(row);
    }
    return rows;
}

using Cut = std::tuple<float, float, float, float>;

std::string Describe(const Cut& c)
{
    std::ostringstream s;
    s << "(" << std::get<0>(c) << ", " << std::get<1>(c) << ", " << std::get<2>(c) << ", " << std::get<3>(c) << ")";
    return s.str();
}

class BattleAtlas : public FrontendRun {
protected:
    void SetUp() override
    {
        FrontendRun::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        list_ = ReadArtList();
        ASSERT_GT(list_.size(), 100u) << "the art list did not load";
        KillAllTasks();
        Frames(1);
        ResetRaceResult();
    }

    const ListedRect* Listed(const char* element) const
    {
        for (const ListedRect& row : list_)
            if (row.element == element) return &row;
        ADD_FAILURE() << element << " is not in the art list";
        return nullptr;
    }

    // Draws one frame of the held battle in the given state and keeps what it cut.
    void Show(BattleWork* battle, BattleProc state)
    {
        battle->battleProc = state;
        Frames(1);
        for (const plat::RecordedSprite& s : Sprites()) {
            const Cut cut{s.srcLeft, s.srcTop, s.srcRight, s.srcBottom};
            if (s.texture == g_uiAtlas)
                atlasCuts_.insert(cut);
            else if (s.texture == g_fontTexture)
                fontCuts_.insert(cut);
        }
    }

    // One battle between the party from `partyRow` and the group from `groupRow`,
    // shown in every state with each member's plate selected in turn.
    void DrawBattle(int partyRow, int groupRow)
    {
        KillAllTasks();
        Frames(1);
        BoardPiece* party = board_test::SidePiece(10, kControllerComputer, partyRow, 6);
        BoardPiece* group = board_test::SidePiece(11, kControllerEnemy, groupRow, 6);
        StartEnemyGroupBattle(party, group);
        BattleWork* battle = RunningBattle();
        ASSERT_NE(battle, nullptr);
        // The screen is looked at state by state: the battle itself stands still.
        g_tasks[kBattleTaskSlot].updateEnabled = 0;
        Show(battle, WaitRoundStart);
        Show(battle, ShowBattleMessages);
        for (int i = 0; i < 6; ++i) {
            battle->partySelected = battle->enemySelected = i;
            // Full, part-way and empty gauges.
            const float share = static_cast<float>(i) / 5.0f;
            battle->partyGauge = battle->partyGaugeMax * share;
            battle->enemyGauge = battle->enemyGaugeMax * (1.0f - share);
            Show(battle, RunReels);
            battle->outcome = i % 3;
            Show(battle, WaitClashResult);
        }
    }

    std::vector<ListedRect> list_;
    std::set<Cut> atlasCuts_;
    std::set<Cut> fontCuts_;
};

TEST_F(BattleAtlas, EveryCutIsAListedPicture)
{
    // The three teams against the monsters 18..23, and once more for monster 24.
    DrawBattle(0, 18);
    DrawBattle(6, 19);
    DrawBattle(12, 18);
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_FALSE(atlasCuts_.empty());

    const ListedRect* panel = Listed("message_window_panel");
    const ListedRect* partyGauge = Listed("battle_gauge_party");
    const ListedRect* enemyGauge = Listed("battle_gauge_enemy");
    ASSERT_TRUE(panel && partyGauge && enemyGauge);

    std::set<std::string> shown;
    for (const Cut& cut : atlasCuts_) {
        const auto [l, t, r, b] = cut;
        std::string match;
        for (const ListedRect& row : list_)
            if (row.texture == "atlas" && row.left == l && row.top == t && row.right == r && row.bottom == b) {
                match = row.element;
                break;
            }
        // The message window is cut into its border and its tinted inside.
        if (match.empty() && l >= panel->left && t >= panel->top && r <= panel->right && b <= panel->bottom)
            match = panel->element;
        // A gauge shows a share of its bar: the party's from the bar's left edge, the
        // enemy's from its right edge (a full one runs one texel past the left edge).
        // An empty gauge is a cut of no width, which shows nothing.
        if (match.empty() && l == partyGauge->left && r >= l && r <= partyGauge->right && t == partyGauge->top &&
            b == partyGauge->bottom)
            match = partyGauge->element;
        if (match.empty() && r == enemyGauge->right && l <= r && l >= enemyGauge->left - 1.0f &&
            t == enemyGauge->top && b == enemyGauge->bottom)
            match = enemyGauge->element;
        EXPECT_FALSE(match.empty()) << "the battle screen cuts " << Describe(cut) << ", which the art list lacks";
        shown.insert(match);
    }

    // What a player must see in a battle was drawn at all.
    for (const char* element :
         {"battle_frame", "battle_card_frame", "battle_name_plate", "slash_tall", "battle_reel_banner",
          "battle_mark_win", "battle_mark_lose", "battle_mark_even", "battle_gauge_party", "battle_gauge_enemy",
          "message_window_panel", "digit_tall_0", "digit_tall_6"})
        EXPECT_EQ(shown.count(element), 1u) << element << " was never drawn";
    for (int i = 0; i <= 24; ++i) {
        const std::string n = (i < 10 ? "0" : "") + std::to_string(i);
        EXPECT_EQ(shown.count("portrait_card_" + n), 1u) << "the card of character " << i << " was never drawn";
        EXPECT_EQ(shown.count("name_plate_" + n), 1u) << "the name of character " << i << " was never drawn";
    }

    // The text box's letters come from the font's glyph area.
    const ListedRect* glyphs = nullptr;
    for (const ListedRect& row : list_)
        if (row.texture == "font" && row.element == "glyph_area") glyphs = &row;
    ASSERT_NE(glyphs, nullptr);
    EXPECT_FALSE(fontCuts_.empty()) << "the battle's message showed no letters";
    for (const Cut& cut : fontCuts_) {
        const auto [l, t, r, b] = cut;
        EXPECT_TRUE(l >= glyphs->left && t >= glyphs->top && r <= glyphs->right && b <= glyphs->bottom && l < r &&
                    t < b)
            << "a letter cut " << Describe(cut) << " lies outside the glyph area";
    }
}

} // namespace
