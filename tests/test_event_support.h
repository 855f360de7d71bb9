// A headless game with the board tasks cleared away: hand-made scripts in the
// script store, a hand-made party on a small hand-made board, and the event task
// run through the real frame loop.
#pragma once
#include <cstring>
#include <string>

#include "board/characters.h"
#include "board/event.h"
#include "board/figure.h"
#include "board/piece.h"
#include "board/stage.h"
#include "board/world.h"
#include "test_frontend_fixture.h"

class EventRun : public FrontendRun {
protected:
    static constexpr int kWidth = 8;
    static constexpr int kHeight = 3;

    void SetUp() override
    {
        FrontendRun::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        KillAllTasks();
        Frames(1);
        ClearStageData();
        g_boardWidth = kWidth;
        g_boardHeight = kHeight;
        g_stageNumber = 1;
        // Row 1 is a line of squares between blocked rows.
        for (int cell = 0; cell < kWidth * kHeight; ++cell)
            g_squareLayer[cell] = cell / kWidth == 1 ? 10 : 15;
    }

    // Stores a script (already in its stored form: no spaces, comments or '@').
    static void Script(int eventNumber, const std::string& text)
    {
        char* slot = g_eventScripts + 2000 * (eventNumber - 1);
        std::memset(slot, 0, 2000);
        std::memcpy(slot, text.data(), text.size() < 2000 ? text.size() : 2000);
    }

    // A party of six of team `team` on cell (column, 1), waiting for its event as a
    // piece that has just arrived does.
    BoardPiece* Party(int controller, int column, float heading = 0.0f, int team = 0)
    {
        Task* task = CreateTask(10 + team);
        task->alive = task->updateEnabled = task->drawEnabled = 1;
        task->kind = kPieceKind;
        task->update = UpdatePiece;
        task->draw = DrawPiece;
        BoardPiece* p = PieceOf(task);
        p->alive = 1;
        p->controller = controller;
        p->teamId = team;
        p->memberCount = 6;
        p->liveCount = 6;
        CellCentre(column, 1, &p->x, &p->z);
        p->y = 0.25f;
        p->heading = heading;
        p->die = 1;
        p->dieFaces = 6;
        p->moveProc = PieceWaitEvent;
        Figure* ahead = nullptr;
        for (int i = 0; i < 6; ++i) {
            p->members[i] = g_characters[6 * team + i];
            ahead = InitFigure(&p->figures[i], p->x, p->y, p->z, heading, p->members[i].modelId,
                               i == 0 ? CopyFigurePoseFromOwner : UpdateFigureMotion, ahead, p);
        }
        return p;
    }

    EventTask* Event() { return g_tasks[kEventSlot].alive ? TaskWork<EventTask>(&g_tasks[kEventSlot]) : nullptr; }
    bool EventRunning() const { return g_tasks[kEventSlot].alive != 0; }

    // Starts event 1 for the piece; its first command runs in the second frame.
    void Start(BoardPiece* piece, int eventNumber = 1)
    {
        soundsHeard_.assign(kSoundEffectCount, 0);
        ASSERT_EQ(StartEvent(piece, eventNumber), 1);
    }

    // Frames until the event has ended (or the limit); returns the frames run.
    int RunToEnd(int limit = 2000)
    {
        int frames = 0;
        while (EventRunning() && frames < limit) {
            Frames(1);
            ++frames;
        }
        return frames;
    }

    int SoundCount(int id)
    {
        return id >= 0 && id < kSoundEffectCount ? soundTally_[id] : 0;
    }

    void Frames(int count)
    {
        for (int i = 0; i < count; ++i) {
            FrontendRun::Frames(1);
            for (int id = 0; id < kSoundEffectCount; ++id)
                if (g_soundRequests[id].requested) ++soundTally_[id];
        }
    }

    // Keys down for one frame, then up for one frame.
    void Tap(uint32_t keys)
    {
        HeadlessSetKeys(keys);
        Frames(1);
        HeadlessSetKeys(0);
        Frames(1);
    }
    void Tap(KeySlotId slot) { Tap(1u << slot); }

    int soundTally_[kSoundEffectCount] = {};
};

#include "engine/glyph_table.h"
#include "platform/text_encoding.h"

// CP932 bytes of a text written in UTF-8, character by character through the font's
// glyph codes (tests only use characters the font has).
inline std::string Sjis(const std::string& utf8)
{
    std::string out;
    size_t at = 0;
    while (at < utf8.size()) {
        bool found = false;
        for (int i = 1; i < kGlyphCount && !found; ++i) {
            const std::string u = plat::Cp932ToUtf8(g_glyphTable[i].code);
            if (!u.empty() && utf8.compare(at, u.size(), u) == 0) {
                out += g_glyphTable[i].code;
                at += u.size();
                found = true;
            }
        }
        if (!found) out += utf8[at++]; // ASCII (labels, digits, separators)
    }
    return out;
}
