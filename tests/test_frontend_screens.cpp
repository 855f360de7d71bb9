// The picture screen and stage select, opened from the title with scripted keys.
#include "test_frontend_fixture.h"
#include <tuple>

#include "board/world.h"
#include "frontend/picture_stage.h"
#include "frontend/title.h"

namespace {
using Slots = std::vector<int>;
} // namespace

class ScreensTest : public FrontendRun {
protected:
    // Title entry 4 (column 0, row 2) and entry 7 (column 1, row 3).
    void Open(int entry)
    {
        for (int i = 0; i < entry % 2; ++i) Press(kKeyRight);
        for (int i = 0; i < entry / 2; ++i) Press(kKeyDown);
        Press(kKeyReturn);
    }
    void OpenPicture() { Open(4); }
    void OpenStageSelect() { Open(7); }

    // The stage number and the count, in medium digits (17 px high, from atlas row 343).
    static std::vector<plat::RecordedSprite> MediumDigitsAt(float y)
    {
        std::vector<plat::RecordedSprite> found;
        for (const plat::RecordedSprite& s : Sprites())
            if (Near(s.v0 * 2048.0f, 343.0f) && Near(s.v1 * 2048.0f, 360.0f) && Near(s.top, y)) found.push_back(s);
        return found;
    }
};

TEST_F(ScreensTest, PictureFillsTheScreenFromTheFontTextureUntilReturnOrZ)
{
    OpenPicture();
    ASSERT_EQ(LiveSlots(), Slots{kPictureSlot});
    EXPECT_EQ(g_tasks[kPictureSlot].kind, kPictureKind);
    ASSERT_EQ(Sprites().size(), 1u);
    EXPECT_TRUE(Drawn(0, 0, kFullScreenPictureRect, g_fontTexture, 1024.0f));
    EXPECT_EQ(std::make_pair(Sprites()[0].right, Sprites()[0].bottom), std::make_pair(640.0f, 480.0f));

    for (KeySlotId key : {kKeyEscape, kKeyRight, kKeyLeft, kKeyUp, kKeyDown, kKeySpace}) {
        Press(key);
        EXPECT_EQ(LiveSlots(), Slots{kPictureSlot}) << "key " << key;
        EXPECT_FALSE(Heard(0));
    }
    Press(kKeyZ);
    EXPECT_EQ(LiveSlots(), Slots{kTitleSlot});
    EXPECT_FALSE(Heard(0)) << "closing the picture is silent";
    EXPECT_TRUE(plat::BufferPlaying(g_music[0]));
}

TEST_F(ScreensTest, StageSelectDrawsTheChosenStageOfThree)
{
    OpenStageSelect();
    ASSERT_EQ(LiveSlots(), Slots{kStageSelectSlot});
    EXPECT_EQ(g_tasks[kStageSelectSlot].kind, kStageSelectKind);
    EXPECT_EQ(g_stageNumber, 1) << "every start begins on stage 1";

    EXPECT_EQ(DrawnFrom(kBackgroundTileRect).size(), 300u);
    EXPECT_TRUE(Drawn(236, 100, kStageHeadingRect)) << "(640 - 169) / 2 = 235.5 rounds up";
    EXPECT_TRUE(Drawn(162, 200, kStagePanelRect));
    EXPECT_TRUE(Drawn(232, 240, kStageLabelRect));
    EXPECT_TRUE(Drawn(378, 239, kStageSlashRect));
    for (int32_t stage = 1; stage <= 3; ++stage) {
        const auto digits = MediumDigitsAt(240);
        ASSERT_EQ(digits.size(), 2u) << "the stage and the count";
        EXPECT_EQ(std::make_pair(digits[0].left, digits[1].left), std::make_pair(348.0f, 408.0f));
        EXPECT_NEAR(digits[0].u0 * 2048.0f, g_digitsMedium[stage].left, 0.01f);
        EXPECT_NEAR(digits[1].u0 * 2048.0f, g_digitsMedium[3].left, 0.01f);
        Press(kKeyRight);
    }
}

TEST_F(ScreensTest, StageWrapsBothWaysAndStaysForTheNextRace)
{
    OpenStageSelect();
    const struct { KeySlotId key; int32_t stage; } steps[] = {{kKeyLeft, 3}, {kKeyUp, 2}, {kKeyUp, 1}, {kKeyRight, 2}, {kKeyDown, 3}, {kKeyDown, 1}, {kKeyLeft, 3}};
    for (const auto& step : steps) {
        Press(step.key);
        EXPECT_EQ(g_stageNumber, step.stage) << "after key " << step.key;
        EXPECT_TRUE(Heard(0));
    }
    Press(kKeyEscape);
    EXPECT_EQ((std::tuple{LiveSlots(), g_stageNumber}), std::make_tuple(Slots{kStageSelectSlot}, 3));

    // Return in the same frame as Right closes without changing the stage.
    Press((1u << kKeyReturn) | (1u << kKeyRight));
    EXPECT_TRUE(Heard(0)) << "closing stage select sounds";
    EXPECT_EQ((std::tuple{LiveSlots(), g_stageNumber}), std::make_tuple(Slots{kTitleSlot}, 3));

    OpenStageSelect();
    const auto digits = MediumDigitsAt(240);
    ASSERT_FALSE(digits.empty());
    EXPECT_NEAR(digits[0].u0 * 2048.0f, g_digitsMedium[3].left, 0.01f) << "reopened on the stage chosen before";
}
