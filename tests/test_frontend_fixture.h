// A headless game run for the front-end tests: the real start-up chain on a copy
// of the built data files, keys from a script, drawing recorded.
#pragma once
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/headless.h"
#include "engine/assets.h"
#include "engine/input.h"
#include "engine/sound.h"
#include "engine/sprite.h"
#include "engine/task.h"
#include "engine/text.h"
#include "engine/wave.h"
#include "platform/gfx_device.h"
#include "test_support.h"

class FrontendRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        namespace fs = std::filesystem;
        const fs::path build = SUGOROKU_BUILD_DIR;
        if (!fs::exists(build / "data.dat"))
            GTEST_SKIP() << "no data.dat in " << build << " (content not built)";
        ASSERT_FALSE(dir_.path().empty());
        for (const char* name : {"data.dat", "mappack.dat", "epack.dat"})
            if (fs::exists(build / name))
                fs::copy_file(build / name, dir_ / name);
        ASSERT_EQ(HeadlessStart(dir_.path().c_str()), 1) << HeadlessLastMessage();
        started_ = true;
        // The title's first update only installs its input state.
        Frames(2);
    }

    void TearDown() override
    {
        if (started_)
            HeadlessStop();
    }

    void Frames(int count)
    {
        for (int i = 0; i < count; ++i) {
            HeadlessRunFrames(1);
            for (int id = 0; id < kSoundEffectCount; ++id)
                soundsHeard_[id] |= g_soundRequests[id].requested ? 1 : 0;
        }
    }

    // Keys held for one frame, then released for one frame. The sounds requested
    // in either frame are kept in soundsHeard_.
    void Press(uint32_t keys)
    {
        soundsHeard_.assign(kSoundEffectCount, 0);
        HeadlessSetKeys(keys);
        Frames(1);
        HeadlessSetKeys(0);
        Frames(1);
    }
    void Press(KeySlotId slot) { Press(1u << slot); }

    bool Heard(int id) const { return id >= 0 && id < static_cast<int>(soundsHeard_.size()) && soundsHeard_[id]; }

    // The slots alive now (the pool is gone once the game has shut down).
    static std::vector<int> LiveSlots()
    {
        std::vector<int> slots;
        for (int i = 0; g_tasks && i < kTaskSlots; ++i)
            if (g_tasks[i].alive)
                slots.push_back(i);
        return slots;
    }

    static std::vector<plat::RecordedSprite> Sprites() { return plat::LastRecordedFrame().Sprites(); }

    // A sprite of the atlas (or the given texture) drawn at (x, y) at its source size.
    static bool Drawn(float x, float y, const SpriteRect& source, const plat::Texture* texture = nullptr,
                      float textureSize = 2048.0f)
    {
        for (const plat::RecordedSprite& s : DrawnFrom(source, textureSize))
            if (s.texture == (texture ? texture : g_uiAtlas) && s.colour == 0xFFFFFFFFu && Near(s.left, x) &&
                Near(s.top, y) && Near(s.right - s.left, source.right - source.left) &&
                Near(s.bottom - s.top, source.bottom - source.top))
                return true;
        return false;
    }

    // Every sprite cut from this source rectangle, wherever it was drawn.
    static std::vector<plat::RecordedSprite> DrawnFrom(const SpriteRect& source, float textureSize = 2048.0f)
    {
        std::vector<plat::RecordedSprite> found;
        for (const plat::RecordedSprite& s : Sprites())
            if (Near(s.u0 * textureSize, source.left) && Near(s.v0 * textureSize, source.top) &&
                Near(s.u1 * textureSize, source.right) && Near(s.v1 * textureSize, source.bottom))
                found.push_back(s);
        return found;
    }

    static bool Near(float a, float b) { return std::fabs(a - b) < 0.01f; }

    test_support::TempDir dir_;
    bool started_ = false;
    std::vector<int> soundsHeard_ = std::vector<int>(kSoundEffectCount, 0);
};
