#include "persist/save_slot.h"

#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <sys/stat.h>
#include <unistd.h>

#include "board/board_view.h"
#include "board/characters.h"
#include "board/event.h"
#include "board/stage.h"
#include "board/task_table.h"
#include "board/turn.h"
#include "board/world.h"
#include "engine/sound.h"
#include "engine/task.h"
#include "platform/byte_order.h"
#include "platform/files.h"

namespace {

constexpr int kPlaces = 3;

// Piece block layout.
constexpr size_t kFiguresAt = 68;
constexpr size_t kFigureBytes = 20;
constexpr size_t kMembersAt = 188;
constexpr size_t kMemberBytes = 114;
constexpr size_t kMemberFieldBytes = 84;
constexpr size_t kMemberNameBytes = 30;
constexpr size_t kPieceNameAt = 872;
static_assert(kPieceNameAt + kPieceNameBytes == kSavePieceBytes, "a piece block is 922 bytes");
static_assert(kMembersAt + kPieceMembers * kMemberBytes == kPieceNameAt, "six members of 114 bytes");

void PutI32(uint8_t* at, int32_t value)
{
    plat::StoreLE32(at, static_cast<uint32_t>(value));
}
void PutF32(uint8_t* at, float value)
{
    uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    plat::StoreLE32(at, bits);
}
int32_t GetI32(const uint8_t* at)
{
    return static_cast<int32_t>(plat::LoadLE32(at));
}
float GetF32(const uint8_t* at)
{
    const uint32_t bits = plat::LoadLE32(at);
    float value = 0.0f;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

void PutRect(uint8_t* at, const SpriteRect& rect)
{
    PutF32(at, rect.left);
    PutF32(at + 4, rect.top);
    PutF32(at + 8, rect.right);
    PutF32(at + 12, rect.bottom);
}
void GetRect(const uint8_t* at, SpriteRect* rect)
{
    rect->left = GetF32(at);
    rect->top = GetF32(at + 4);
    rect->right = GetF32(at + 8);
    rect->bottom = GetF32(at + 12);
}

bool InRange(int32_t value, int32_t low, int32_t high)
{
    return value >= low && value <= high;
}

bool IsLivePieceTask(const Task& task)
{
    return task.alive != 0 && task.kind == kPieceKind;
}

bool IsTeam(const BoardPiece& p)
{
    return p.controller == kControllerPlayer || p.controller == kControllerComputer;
}

// Where the camera may be: its look-at point over the board, its eye no farther off
// than the board camera stands (20 units, with a unit to spare for the rounding of the
// angle), and both below this height, far above the 60 of the board camera.
constexpr float kCameraReach = 21.0f;
constexpr float kCameraHeightLimit = 1000.0f;

__attribute__((format(printf, 2, 3))) int Refuse(char* why, const char* format, ...)
{
    if (why != nullptr) {
        va_list args;
        va_start(args, format);
        std::vsnprintf(why, kSlotReasonBytes, format, args);
        va_end(args);
    }
    return 0;
}

// Degrees brought into 0..360 as a saved heading must be; what already lies there is
// kept as it is, 360 included, so that every file the game writes keeps its bytes.
float NormalisedDegrees(float degrees)
{
    if (!std::isfinite(degrees))
        return 0.0f;
    if (degrees >= 0.0f && degrees <= 360.0f)
        return degrees;
    const float turned = std::fmod(degrees, 360.0f); // exact, within -360..360
    return turned < 0.0f ? turned + 360.0f : turned;
}

float Clamped(float value, float low, float high)
{
    if (std::isnan(value))
        return low <= 0.0f && high >= 0.0f ? 0.0f : low;
    return value < low ? low : (value > high ? high : value);
}

// Progress within what the reader takes; every race stays far inside that bound.
int32_t BoundedProgress(int32_t progress)
{
    return progress < -kProgressBound ? -kProgressBound : (progress > kProgressBound ? kProgressBound : progress);
}

// The slot file's layout, written once: each layout below lists the fields of one part
// of the file with their offsets (from the part's start at `at`) and their stored
// types, and the writer, the reader and the compile-time check all walk that one list.
// Every field goes to the file as its own little-endian word (or its bytes), never as a
// copy of a struct's memory.

// What saving and loading do to a field besides storing it.
enum class Keep : uint8_t {
    kAsIs,
    kWithinATurn, // saved within 0..360 degrees: a scripted spin may leave it past a full turn
    kWithinBound, // saved within -kProgressBound..kProgressBound
    kZeroOnLoad,  // saved as it is; a load starts it at 0 (a step or spin is not taken up again)
    kOneOnLoad,   // saved as it is; a load starts it at 1 (the die at rest)
};

// The race result, thirteen words in the order of its fields.
template <typename Walk, typename Result>
constexpr void RaceResultLayout(Walk& walk, size_t at, Result& r)
{
    walk.I32(at + 0, r.nextPlaceFromTop);
    walk.I32(at + 4, r.playerTeamAtFinish);
    for (size_t i = 0; i < 3; ++i)
        walk.I32(at + 8 + 4 * i, r.placeTeam[i]);
    for (size_t i = 0; i < 3; ++i)
        walk.I32(at + 20 + 4 * i, r.placeLeader[i]);
    for (size_t i = 0; i < 3; ++i)
        walk.I32(at + 32 + 4 * i, r.placeController[i]);
    walk.I32(at + 44, r.teamsLeft);
    walk.I32(at + 48, r.nextPlaceFromBottom);
}

// The file's first 64 bytes: stage, player's team, race result, number of pieces.
template <typename Walk, typename Game>
constexpr void HeaderLayout(Walk& walk, Game& game)
{
    walk.I32(0, game.stage);
    walk.I32(4, game.playerTeam);
    RaceResultLayout(walk, 8, game.result);
    walk.I32(60, game.pieceCount);
}

// One figure of a piece: where it stands, its facing and its model.
template <typename Walk, typename Follower>
constexpr void FollowerLayout(Walk& walk, size_t at, Follower& f)
{
    walk.F32(at + 0, f.x);
    walk.F32(at + 4, f.y);
    walk.F32(at + 8, f.z);
    walk.F32(at + 12, f.facing, Keep::kWithinATurn);
    walk.I32(at + 16, f.modelId);
}

// One member: the character record's fields from id to experience reward, then the
// first 30 bytes of its name.
template <typename Walk, typename Character>
constexpr void CharacterLayout(Walk& walk, size_t at, Character& r)
{
    walk.I32(at + 0, r.id);
    walk.I32(at + 4, r.modelId);
    walk.F32(at + 8, r.hitPoints);
    walk.F32(at + 12, r.maxHitPoints);
    walk.F32(at + 16, r.spareValue1);
    walk.F32(at + 20, r.spareValue2);
    walk.Rect(at + 24, r.portraitRect);
    walk.Rect(at + 40, r.faceRect);
    walk.Rect(at + 56, r.namePlateRect);
    walk.I32(at + 72, r.attackStyle);
    walk.I32(at + 76, r.moneyReward);
    walk.I32(at + 80, r.expReward);
    walk.Text(at + kMemberFieldBytes, r.name, kMemberNameBytes);
}

// One piece block of 922 bytes.
template <typename Walk, typename Piece>
constexpr void PieceLayout(Walk& walk, size_t at, Piece& p)
{
    walk.I32(at + 0, p.rePan);
    walk.I32(at + 4, p.controller);
    walk.I32(at + 8, p.teamId);
    walk.I32(at + 12, p.memberCount);
    walk.I32(at + 16, p.liveCount);
    walk.I32(at + 20, p.level);
    walk.I32(at + 24, p.spinCountdown, Keep::kZeroOnLoad);
    walk.I32(at + 28, p.money);
    walk.I32(at + 32, p.experience);
    walk.F32(at + 36, p.x);
    walk.F32(at + 40, p.y);
    walk.F32(at + 44, p.z);
    walk.F32(at + 48, p.heading, Keep::kWithinATurn);
    walk.I32(at + 52, p.subStep, Keep::kZeroOnLoad);
    walk.I32(at + 56, p.die, Keep::kOneOnLoad);
    walk.I32(at + 60, p.progress, Keep::kWithinBound);
    walk.I32(at + 64, p.dieFaces);
    // All six figures and members, also for an enemy group with fewer members.
    for (size_t i = 0; i < kPieceMembers; ++i)
        FollowerLayout(walk, at + kFiguresAt + kFigureBytes * i, p.figures[i]);
    for (size_t i = 0; i < kPieceMembers; ++i)
        CharacterLayout(walk, at + kMembersAt + kMemberBytes * i, p.members[i]);
    walk.Text(at + kPieceNameAt, p.name, kPieceNameBytes);
}

// The board camera: look-at x, y, z, eye x, y, z, angle.
template <typename Walk, typename Camera>
constexpr void CameraLayout(Walk& walk, size_t at, Camera& camera)
{
    for (size_t i = 0; i < 6; ++i)
        walk.F32(at + 4 * i, camera[i]);
    walk.F32(at + 24, camera[6], Keep::kWithinATurn);
}

// Puts each field's value at its offset from block, in the range the reader takes.
class FieldWriter {
public:
    explicit FieldWriter(uint8_t* block) : block_(block) {}
    void I32(size_t at, int32_t value, Keep keep = Keep::kAsIs) const
    {
        PutI32(block_ + at, keep == Keep::kWithinBound ? BoundedProgress(value) : value);
    }
    void F32(size_t at, float value, Keep keep = Keep::kAsIs) const
    {
        PutF32(block_ + at, keep == Keep::kWithinATurn ? NormalisedDegrees(value) : value);
    }
    void Rect(size_t at, const SpriteRect& rect) const { PutRect(block_ + at, rect); }
    template <size_t N>
    void Text(size_t at, const char (&text)[N], size_t bytes) const
    {
        std::memcpy(block_ + at, text, bytes);
    }

private:
    uint8_t* block_;
};

// Takes each field's value from its offset in block; fields a load starts anew get
// their starting value instead. Text is cut to its field and always ends in a NUL.
class FieldReader {
public:
    explicit FieldReader(const uint8_t* block) : block_(block) {}
    void I32(size_t at, int32_t& value, Keep keep = Keep::kAsIs) const
    {
        if (keep == Keep::kZeroOnLoad)
            value = 0;
        else if (keep == Keep::kOneOnLoad)
            value = 1;
        else
            value = GetI32(block_ + at);
    }
    void F32(size_t at, float& value, Keep /*keep*/ = Keep::kAsIs) const { value = GetF32(block_ + at); }
    void Rect(size_t at, SpriteRect& rect) const { GetRect(block_ + at, &rect); }
    template <size_t N>
    void Text(size_t at, char (&text)[N], size_t bytes) const
    {
        std::memset(text, 0, N);
        std::memcpy(text, block_ + at, bytes);
        text[N - 1] = '\0';
    }

private:
    const uint8_t* block_;
};

// Walks a layout without touching any bytes: every field must start where the one
// before it ended and fit its record, so that no two fields share a byte and none is
// left out. End() is the layout's size, or 0 when it is not whole.
class LayoutCheck {
public:
    constexpr void I32(size_t at, int32_t /*value*/, Keep /*keep*/ = Keep::kAsIs) { Take(at, 4); }
    constexpr void F32(size_t at, float /*value*/, Keep /*keep*/ = Keep::kAsIs) { Take(at, 4); }
    constexpr void Rect(size_t at, const SpriteRect& /*rect*/) { Take(at, 16); }
    template <size_t N>
    constexpr void Text(size_t at, const char (&/*text*/)[N], size_t bytes)
    {
        whole_ = whole_ && bytes <= N;
        Take(at, bytes);
    }
    constexpr size_t End() const { return whole_ ? next_ : 0; }

private:
    constexpr void Take(size_t at, size_t bytes)
    {
        whole_ = whole_ && at == next_;
        next_ = at + bytes;
    }
    size_t next_ = 0;
    bool whole_ = true;
};

constexpr size_t HeaderLayoutBytes()
{
    LayoutCheck check;
    const SavedGame game{};
    HeaderLayout(check, game);
    return check.End();
}
constexpr size_t PieceLayoutBytes()
{
    LayoutCheck check;
    const BoardPiece piece{};
    PieceLayout(check, 0, piece);
    return check.End();
}
constexpr size_t CameraLayoutBytes()
{
    LayoutCheck check;
    const float camera[7] = {};
    CameraLayout(check, 0, camera);
    return check.End();
}
static_assert(HeaderLayoutBytes() == kSaveHeaderBytes, "the header is 64 bytes, field after field");
static_assert(PieceLayoutBytes() == kSavePieceBytes, "a piece block is 922 bytes, field after field");
static_assert(CameraLayoutBytes() == kSaveCameraBytes, "the camera is seven floats");

// Half the board's width and depth in world units (a cell is 2 x 2, the board centred
// on the origin).
float BoardHalfWidth()
{
    return static_cast<float>(g_stageLayers.boardWidth);
}
float BoardHalfDepth()
{
    return static_cast<float>(g_stageLayers.boardHeight);
}

// The camera as it may be saved and loaded: look-at x, y, z, eye x, y, z, angle.
void CameraBounds(float low[7], float high[7])
{
    const float w = BoardHalfWidth();
    const float d = BoardHalfDepth();
    const float lows[7] = {-w,  -kCameraHeightLimit, -d, -w - kCameraReach, -kCameraHeightLimit, -d - kCameraReach,
                           0.0f};
    const float highs[7] = {w, kCameraHeightLimit, d, w + kCameraReach, kCameraHeightLimit, d + kCameraReach, 360.0f};
    for (int i = 0; i < 7; ++i) {
        low[i] = lows[i];
        high[i] = highs[i];
    }
}

bool AllFinite(const float* values, int count)
{
    for (int i = 0; i < count; ++i)
        if (!std::isfinite(values[i]))
            return false;
    return true;
}
bool AllFinite(const SpriteRect& rect)
{
    const float values[4] = {rect.left, rect.top, rect.right, rect.bottom};
    return AllFinite(values, 4);
}

bool WithinDegrees(float degrees)
{
    return degrees >= 0.0f && degrees <= 360.0f;
}

// Field checks of member m of piece n (1-based) whose record starts at byte at.
int CheckMember(const CharacterRecord& r, int m, int n, size_t at, char* why)
{
    if (!InRange(r.id, 0, kCharacterCount - 1))
        return Refuse(why, "a member's character id is outside 0..24: %d in member %d of piece %d at byte %zu", r.id, m,
                      n, at);
    if (!InRange(r.modelId, 0, kCharacterCount - 1))
        return Refuse(why, "a member's model id is outside 0..24: %d in member %d of piece %d at byte %zu", r.modelId,
                      m, n, at + 4);
    if (!InRange(r.attackStyle, 0, 3))
        return Refuse(why, "a member's attack style is outside 0..3: %d in member %d of piece %d at byte %zu",
                      r.attackStyle, m, n, at + 72);
    const float values[4] = {r.hitPoints, r.maxHitPoints, r.spareValue1, r.spareValue2};
    if (!AllFinite(values, 4) || !AllFinite(r.portraitRect) || !AllFinite(r.faceRect) || !AllFinite(r.namePlateRect))
        return Refuse(
            why, "a member's hit points or rectangles are not finite numbers: member %d of piece %d, bytes %zu..%zu", m,
            n, at + 8, at + 71);
    return 1;
}

// Field checks of piece n (1-based) whose block starts at byte at.
int CheckPiece(const BoardPiece& p, int n, size_t at, char* why)
{
    if (!InRange(p.controller, kControllerPlayer, kControllerEnemy))
        return Refuse(why, "a piece's controller is outside 0..2: %d in piece %d at byte %zu", p.controller, n, at + 4);
    // Teams are 0..2; an enemy group with such an id would take a team's place in the
    // turn order, and the team's own piece would never move again.
    if (IsTeam(p) ? !InRange(p.teamId, 0, 2) : p.teamId < kRoamingGroupId)
        return Refuse(
            why, "a piece's team id is out of range (teams 0..2, enemy groups 3 and up): %d in piece %d at byte %zu",
            p.teamId, n, at + 8);
    if (!InRange(p.memberCount, 1, kPieceMembers))
        return Refuse(why, "a piece's member count is outside 1..6: %d in piece %d at byte %zu", p.memberCount, n,
                      at + 12);
    if (!InRange(p.liveCount, 1, p.memberCount))
        return Refuse(why, "a piece's live count is outside 1..its member count %d: %d in piece %d at byte %zu",
                      p.memberCount, p.liveCount, n, at + 16);
    const int32_t counters[3] = {p.level, p.money, p.experience};
    const size_t counterAt[3] = {20, 28, 32};
    for (int i = 0; i < 3; ++i)
        if (counters[i] != 0)
            return Refuse(
                why,
                "a piece's level, money or experience is not 0, and no race changes them: %d in piece %d at byte %zu",
                counters[i], n, at + counterAt[i]);
    const float position[4] = {p.x, p.y, p.z, p.heading};
    if (!AllFinite(position, 4))
        return Refuse(why, "a piece's position or heading is not a finite number: piece %d, bytes %zu..%zu", n, at + 36,
                      at + 51);
    // Headings are whole quarter turns, or what a spin leaves: never past a full turn.
    if (!WithinDegrees(p.heading))
        return Refuse(why, "a piece's heading is outside 0..360 degrees: %g in piece %d at byte %zu", p.heading, n,
                      at + 48);
    if (!InRange(p.dieFaces, kMinSavedDieFaces, kMaxSavedDieFaces))
        return Refuse(why, "a piece's die faces are outside 2..999999: %d in piece %d at byte %zu", p.dieFaces, n,
                      at + 64);
    for (int f = 0; f < kPieceMembers; ++f) {
        const Figure& figure = p.figures[f];
        const size_t fat = at + kFiguresAt + kFigureBytes * f;
        const float pose[4] = {figure.x, figure.y, figure.z, figure.facing};
        if (!AllFinite(pose, 4))
            return Refuse(why,
                          "a figure's position or facing is not a finite number: figure %d of piece %d, bytes %zu..%zu",
                          f, n, fat, fat + 15);
        if (!WithinDegrees(figure.facing))
            return Refuse(why, "a figure's facing is outside 0..360 degrees: %g in figure %d of piece %d at byte %zu",
                          figure.facing, f, n, fat + 12);
        if (!InRange(figure.modelId, 0, kCharacterCount - 1))
            return Refuse(why, "a figure's model id is outside 0..24: %d in figure %d of piece %d at byte %zu",
                          figure.modelId, f, n, fat + 16);
    }
    for (int m = 0; m < kPieceMembers; ++m)
        if (!CheckMember(p.members[m], m, n, at + kMembersAt + kMemberBytes * m, why))
            return 0;
    return 1;
}

// Whether place i of the race result is taken: from the top, places below
// nextPlaceFromTop; from the bottom, places above nextPlaceFromBottom.
bool PlaceTaken(const RaceResult& r, int i)
{
    return i < r.nextPlaceFromTop || i > r.nextPlaceFromBottom;
}

int CheckRaceResult(const RaceResult& r, char* why)
{
    if (!InRange(r.nextPlaceFromTop, 0, kPlaces - 1) || !InRange(r.nextPlaceFromBottom, 0, kPlaces - 1))
        return Refuse(why, "the race result's next places are outside 0..2: %d at byte 8, %d at byte 56",
                      r.nextPlaceFromTop, r.nextPlaceFromBottom);
    if (!InRange(r.playerTeamAtFinish, 0, 2) || !InRange(r.teamsLeft, 0, 3))
        return Refuse(why,
                      "the race result's team or count of teams left is out of range: %d at byte 12, %d at byte 52",
                      r.playerTeamAtFinish, r.teamsLeft);
    for (int i = 0; i < kPlaces; ++i) {
        if (!InRange(r.placeTeam[i], 0, 2) || !InRange(r.placeLeader[i], 0, kCharacterCount - 1) ||
            !InRange(r.placeController[i], kControllerPlayer, kControllerEnemy))
            return Refuse(why, "a place of the race result is out of range: place %d, bytes %d, %d and %d", i + 1,
                          16 + 4 * i, 28 + 4 * i, 40 + 4 * i);
    }
    // Places fill from both ends; a race whose places have all been taken has ended, so
    // a saved one always has a place left between them.
    if (r.nextPlaceFromTop > r.nextPlaceFromBottom)
        return Refuse(why,
                      "the places from the top and from the bottom cross: next from the top %d (byte 8) is past next "
                      "from the bottom %d (byte 56)",
                      r.nextPlaceFromTop, r.nextPlaceFromBottom);
    // Every place taken is one team fewer racing.
    const int32_t racing = 1 + r.nextPlaceFromBottom - r.nextPlaceFromTop;
    if (r.teamsLeft != racing)
        return Refuse(why, "the count of teams left does not match the places taken: %d at byte 52, %d by the places",
                      r.teamsLeft, racing);
    for (int i = 0; i < kPlaces; ++i)
        for (int j = i + 1; j < kPlaces; ++j)
            if (PlaceTaken(r, i) && PlaceTaken(r, j) && r.placeTeam[i] == r.placeTeam[j])
                return Refuse(why, "team %d holds two places: places %d and %d (bytes %d and %d)", r.placeTeam[i],
                              i + 1, j + 1, 16 + 4 * i, 16 + 4 * j);
    return 1;
}

size_t PieceBlockAt(int index)
{
    return kSaveHeaderBytes + kSavePieceBytes * static_cast<size_t>(index);
}

// The teams on the board against the player's team and the places: one piece a team,
// the player's under the player's hand and no other, and none for a team that has a
// place (so no more of them race than the race result counts).
int CheckTeams(const SavedGame& game, char* why)
{
    const RaceResult& r = game.result;
    int pieceOfTeam[3] = {-1, -1, -1};
    int player = -1;
    for (int i = 0; i < game.pieceCount; ++i) {
        const BoardPiece& p = game.pieces[i];
        if (!IsTeam(p))
            continue;
        if (pieceOfTeam[p.teamId] >= 0)
            return Refuse(why, "two pieces are team %d: pieces %d and %d", p.teamId, pieceOfTeam[p.teamId] + 1, i + 1);
        pieceOfTeam[p.teamId] = i;
        if (p.controller != kControllerPlayer)
            continue;
        if (p.teamId != game.playerTeam)
            return Refuse(why,
                          "a piece of another team than the player's (%d, byte 4) is under the player's hand: piece %d "
                          "(team %d) at byte %zu",
                          game.playerTeam, i + 1, p.teamId, PieceBlockAt(i) + 4);
        player = i;
    }
    if (player < 0)
        return Refuse(why,
                      "no piece of the player's team under the player's hand: no piece of team %d with controller 0",
                      game.playerTeam);
    for (int i = 0; i < kPlaces; ++i)
        if (PlaceTaken(r, i) && pieceOfTeam[r.placeTeam[i]] >= 0)
            return Refuse(why, "team %d has place %d (byte %d) and still races: piece %d", r.placeTeam[i], i + 1,
                          16 + 4 * i, pieceOfTeam[r.placeTeam[i]] + 1);
    return 1;
}

// A team moves by the route bits of its square toward ground it can walk on; a square
// without such a way would end each of its turns at once, for ever.
bool HasWayOn(int32_t column, int32_t row)
{
    const int32_t route = RouteAt(column, row);
    const struct {
        int32_t bit;
        int32_t dc, dr;
    } ways[4] = {{kLinkHeading0, 1, 0}, {kLinkHeading180, -1, 0}, {kLinkHeading270, 0, 1}, {kLinkHeading90, 0, -1}};
    for (const auto& way : ways)
        if ((route & way.bit) != 0 && CellKindAt(column + way.dc, row + way.dr) < kBlockedKind)
            return true;
    return false;
}

// The current stage's map and scripts, kept while a slot's stage is read for its
// checks, so that a refused file leaves the running race's board as it was.
struct StageBackup {
    int32_t width, height, stage, trackLength, eventCount;
    int8_t layers[5][kStageCells];
    char scripts[kEventScriptBytes];
    uint8_t text[kEventTextBytes];
};
StageBackup s_stageBackup;

int8_t* const* StageLayerList()
{
    static int8_t* list[5];
    list[0] = g_stageLayers.squareLayer;
    list[1] = g_stageLayers.routeLayer;
    list[2] = g_stageLayers.layerD;
    list[3] = g_stageLayers.eventLayer;
    list[4] = g_stageLayers.layerE;
    return list;
}

void BackUpStage(StageBackup* b)
{
    b->width = g_stageLayers.boardWidth;
    b->height = g_stageLayers.boardHeight;
    b->stage = g_stageLayers.stageNumber;
    b->trackLength = g_stageLayers.trackLength;
    b->eventCount = g_eventCount;
    int8_t* const* layers = StageLayerList();
    for (int i = 0; i < 5; ++i)
        std::memcpy(b->layers[i], layers[i], kStageCells);
    std::memcpy(b->scripts, g_eventScripts, kEventScriptBytes);
    std::memcpy(b->text, g_eventText, kEventTextBytes);
}

void RestoreStage(const StageBackup& b)
{
    g_stageLayers.boardWidth = b.width;
    g_stageLayers.boardHeight = b.height;
    g_stageLayers.stageNumber = b.stage;
    g_stageLayers.trackLength = b.trackLength;
    g_eventCount = b.eventCount;
    int8_t* const* layers = StageLayerList();
    for (int i = 0; i < 5; ++i)
        std::memcpy(layers[i], b.layers[i], kStageCells);
    std::memcpy(g_eventScripts, b.scripts, kEventScriptBytes);
    std::memcpy(g_eventText, b.text, kEventTextBytes);
}

void Report(int slot, const char* what, const char* why)
{
    char name[16];
    FormatSaveSlotName(name, sizeof name, slot);
    std::fprintf(stderr, "%s: %s: %s\n", name, what, why);
}

} // namespace

void FormatSaveSlotName(char* out, size_t size, int slot)
{
    std::snprintf(out, size, "save%d.dat", slot);
}

int CheckSaveSlotExists(int slot)
{
    char name[16];
    FormatSaveSlotName(name, sizeof name, slot);
    const int fd = plat::OpenRegularFileForReading(name, nullptr, nullptr);
    if (fd < 0)
        return 0;
    close(fd);
    return 1;
}

int32_t ReadSaveSlotSummary(int slot, int32_t* stage, SlotTime* written)
{
    char name[16];
    FormatSaveSlotName(name, sizeof name, slot);
    int error = 0;
    const int fd = plat::OpenRegularFileForReading(name, nullptr, &error);
    if (fd < 0) {
        // Only a missing file is an empty slot; anything else standing there must not
        // look free to save over.
        if (error == ENOENT)
            return kSlotEmpty;
        std::fprintf(stderr, "%s: the slot cannot be read: %s\n", name, plat::FileErrorText(error));
        return kSlotUnreadable;
    }
    // The stage is the header's first word: a file too short to hold it shows none.
    uint8_t first[4] = {};
    const long got = plat::ReadUpTo(fd, first, sizeof first, nullptr);
    struct stat info {};
    const bool timed = fstat(fd, &info) == 0;
    close(fd);
    if (got < 0 || !timed)
        return kSlotUnreadable;
    *stage = got == 4 ? GetI32(first) : 0;
    struct tm local {};
    const time_t when = info.st_mtime;
    SlotTime& t = *written;
    if (localtime_r(&when, &local) != nullptr) {
        t.year = local.tm_year + 1900;
        t.month = local.tm_mon + 1;
        t.day = local.tm_mday;
        t.hour = local.tm_hour;
        t.minute = local.tm_min;
    } else {
        t = SlotTime{};
    }
    return kSlotWritten;
}

int CountPieces()
{
    int count = 0;
    for (int slot = kPieceFirstSlot; g_tasks != nullptr && slot < kPieceSlotEnd; ++slot)
        count += IsLivePieceTask(g_tasks[slot]) ? 1 : 0;
    return count;
}

void WriteFollower(uint8_t* at, const Figure& figure)
{
    FieldWriter writer(at);
    FollowerLayout(writer, 0, figure);
}

void WriteCharacter(uint8_t* at, const CharacterRecord& r)
{
    FieldWriter writer(at);
    CharacterLayout(writer, 0, r);
}

void WritePiece(uint8_t* block, const BoardPiece& p)
{
    FieldWriter writer(block);
    PieceLayout(writer, 0, p);
}

void WriteTurnState(uint8_t* at)
{
    // Written whether or not the controller is alive: its work area always exists.
    // Kept over the board (and the angle within a turn), as the reader takes it.
    const TurnController* c = TurnControllerWork();
    const float camera[7] = {c->lookAt[0], c->lookAt[1], c->lookAt[2], c->eye[0], c->eye[1], c->eye[2], c->angle};
    float low[7];
    float high[7];
    CameraBounds(low, high);
    float kept[7];
    for (int i = 0; i < 7; ++i)
        kept[i] = i < 6 ? Clamped(camera[i], low[i], high[i]) : camera[i];
    FieldWriter writer(at);
    CameraLayout(writer, 0, kept);
}

size_t EncodeGameSlot(uint8_t* out)
{
    std::memset(out, 0, kSaveMaxBytes);
    // The fields of the header as SavedGame holds them.
    const struct {
        int32_t stage;
        int32_t playerTeam;
        RaceResult result;
        int32_t pieceCount;
    } header = {g_stageLayers.stageNumber, g_playerTeam, g_raceResult, CountPieces()};
    FieldWriter writer(out);
    HeaderLayout(writer, header);
    size_t at = kSaveHeaderBytes;
    for (int slot = kPieceFirstSlot; g_tasks != nullptr && slot < kPieceSlotEnd; ++slot) {
        if (!IsLivePieceTask(g_tasks[slot]))
            continue;
        WritePiece(out + at, *PieceOf(&g_tasks[slot]));
        at += kSavePieceBytes;
    }
    WriteTurnState(out + at);
    return at + kSaveCameraBytes;
}

int SaveGameSlot(int slot)
{
    if (slot < 0 || slot >= kSaveSlotCount || g_tasks == nullptr)
        return 0;
    static uint8_t image[kSaveMaxBytes];
    const size_t size = EncodeGameSlot(image);
    char name[16];
    FormatSaveSlotName(name, sizeof name, slot);
    int error = 0;
    if (!plat::WriteFileAtomically(name, image, size, &error)) {
        char why[160];
        std::snprintf(why, sizeof why, "%s; the slot's previous file is kept", plat::FileErrorText(error));
        Report(slot, "the race was not saved", why);
        return 0;
    }
    return 1;
}

void ReadFollower(const uint8_t* at, Figure* figure)
{
    const FieldReader reader(at);
    FollowerLayout(reader, 0, *figure);
}

void ReadCharacter(const uint8_t* at, CharacterRecord* r)
{
    const FieldReader reader(at);
    CharacterLayout(reader, 0, *r); // the name's last two bytes stay NUL
}

void ReadPiece(const uint8_t* block, BoardPiece* p)
{
    *p = BoardPiece{};
    const FieldReader reader(block);
    PieceLayout(reader, 0, *p);
}

int DecodeGameSlot(const uint8_t* data, size_t size, SavedGame* game, char* why)
{
    if (data == nullptr || size < kSaveFixedBytes)
        return Refuse(why, "the file is shorter than a slot file: %zu bytes, at least 92", data == nullptr ? 0 : size);
    const FieldReader reader(data);
    HeaderLayout(reader, *game);
    const int32_t count = game->pieceCount;
    if (!InRange(count, 0, kMaxSavedPieces))
        return Refuse(why, "the number of pieces is outside 0..10: %d at byte 60", count);
    const size_t expected = kSaveFixedBytes + kSavePieceBytes * static_cast<size_t>(count);
    if (size != expected)
        return Refuse(why, "the file's size does not match its number of pieces: %zu bytes, %zu for %d pieces", size,
                      expected, count);
    if (!InRange(game->stage, 1, 3))
        return Refuse(why, "the stage is outside 1..3: %d at byte 0", game->stage);
    if (!InRange(game->playerTeam, 0, 2))
        return Refuse(why, "the player's team is outside 0..2: %d at byte 4", game->playerTeam);
    const RaceResult& r = game->result;
    if (!CheckRaceResult(r, why))
        return 0;
    for (int i = 0; i < count; ++i) {
        BoardPiece& p = game->pieces[i];
        ReadPiece(data + PieceBlockAt(i), &p);
        if (!CheckPiece(p, i + 1, PieceBlockAt(i), why))
            return 0;
    }
    if (!CheckTeams(*game, why))
        return 0;
    const size_t camera = PieceBlockAt(count);
    CameraLayout(reader, camera, game->camera);
    for (int i = 0; i < 7; ++i)
        if (!std::isfinite(game->camera[i]))
            return Refuse(why, "the camera is not finite numbers: %g at byte %zu", game->camera[i], camera + 4 * i);
    if (!WithinDegrees(game->camera[6]))
        return Refuse(why, "the camera's angle is outside 0..360 degrees: %g at byte %zu", game->camera[6],
                      camera + 24);
    // A race is saved with every piece at rest, and the end of each move gathers its
    // figures on it: that is where they go again, whatever the file says.
    for (int i = 0; i < count; ++i) {
        BoardPiece& p = game->pieces[i];
        for (Figure& f : p.figures) {
            f.x = p.x;
            f.y = p.y;
            f.z = p.z;
        }
    }
    return 1;
}

int CheckSavedRaceOnBoard(const SavedGame& game, char* why)
{
    for (int i = 0; i < game.pieceCount; ++i) {
        const BoardPiece& p = game.pieces[i];
        const size_t at = PieceBlockAt(i) + 36;
        int32_t column = 0;
        int32_t row = 0;
        if (!PositionToCell(p.x, p.z, &column, &row))
            return Refuse(why,
                          "a piece stands outside the stage's board: piece %d at x %g, z %g (byte %zu) on the %d x %d "
                          "board of stage %d",
                          i + 1, p.x, p.z, at, g_stageLayers.boardWidth, g_stageLayers.boardHeight, game.stage);
        // Pieces come to rest on cell centres only; anything else is not a race at a
        // roll, and a piece walking from there would leave the paths.
        float x = 0.0f;
        float z = 0.0f;
        CellCentre(column, row, &x, &z);
        if (p.x != x || p.z != z)
            return Refuse(why,
                          "a piece stands off the centre of its cell: piece %d at x %g, z %g (byte %zu); the centre of "
                          "column %d, row %d of stage %d is x %g, z %g",
                          i + 1, p.x, p.z, at, column, row, game.stage, x, z);
        if (p.y != kPieceHeight)
            return Refuse(why, "a piece is not at the board's height: y %g in piece %d at byte %zu", p.y, i + 1,
                          at + 4);
        const int32_t kind = CellKindAt(column, row);
        if (kind >= kBlockedKind)
            return Refuse(why, "a piece stands on blocked ground: piece %d at column %d, row %d of stage %d", i + 1,
                          column, row, game.stage);
        if (kind < kFirstSquareKind)
            return Refuse(why,
                          "a piece stands on a corridor cell, where no piece comes to rest: piece %d at column %d, row "
                          "%d of stage %d",
                          i + 1, column, row, game.stage);
        if (!InRange(p.progress, -kProgressBound, kProgressBound))
            return Refuse(why, "a piece's progress is outside %d..%d: %d in piece %d at byte %zu", -kProgressBound,
                          kProgressBound, p.progress, i + 1, at + 24);
        if (IsTeam(p) && !HasWayOn(column, row))
            return Refuse(
                why, "a team stands on a square with no way on: piece %d (team %d) at column %d, row %d of stage %d",
                i + 1, p.teamId, column, row, game.stage);
    }
    float low[7];
    float high[7];
    CameraBounds(low, high);
    const size_t camera = PieceBlockAt(game.pieceCount);
    static const char* const names[7] = {"look-at x", "look-at y", "look-at z", "eye x", "eye y", "eye z", "angle"};
    for (int i = 0; i < 6; ++i)
        if (game.camera[i] < low[i] || game.camera[i] > high[i])
            return Refuse(why, "the camera is not over the board: %s %g at byte %zu, outside %g..%g on stage %d",
                          names[i], game.camera[i], camera + 4 * i, low[i], high[i], game.stage);
    return 1;
}

void RebuildSavedRace(const SavedGame& game)
{
    KillAllTasks();
    ClearTaskPool();
    g_stageLayers.stageNumber = game.stage;
    g_playerTeam = game.playerTeam;
    g_raceResult = game.result;
    for (int i = 0; i < game.pieceCount; ++i) {
        Task* task = CreateTaskInRange(kPieceFirstSlot, kPieceSlotEnd);
        if (task == nullptr)
            break; // the pool was just cleared: ten slots are free for at most ten pieces
        StartTask(task, kPieceKind, UpdatePiece, DrawPiece);
        BoardPiece* p = PieceOf(task);
        *p = game.pieces[i];
        for (int f = 0; f < kPieceMembers; ++f) {
            Figure& figure = p->figures[f];
            figure.alive = 0;
            figure.owner = p;
            figure.ahead = f == 0 ? nullptr : &p->figures[f - 1];
            figure.framesLeft = 0;
            figure.motionProc = f == 0 ? CopyFigurePoseFromOwner : UpdateFigureMotion;
        }
        p->alive = 1;
        p->die = 1;
        p->subStep = 0;
        p->spinCountdown = 0;
        p->stateProc = p->controller == kControllerPlayer ? PlayerRollDie : PieceIdle;
        for (int32_t& texture : p->arrowTexture)
            texture = -1;
    }
    CreateBoardView();

    // The turn controller as a race starts it, from the saved camera: the turn list is
    // rebuilt from the loaded pieces with the player's team current. The checks make
    // sure that team has a piece; should it ever be missing, the camera stands still.
    CreateTurnControllerWithCamera(&game.camera[0], &game.camera[3], game.camera[6], FollowCurrentPiece);
}

int LoadGameSlot(int slot)
{
    if (slot < 0 || slot >= kSaveSlotCount || g_tasks == nullptr || g_stageLayers.squareLayer == nullptr)
        return 0;
    char name[16];
    FormatSaveSlotName(name, sizeof name, slot);

    // The whole file, one byte more than the largest slot file to see a longer one.
    static uint8_t image[kSaveMaxBytes + 1];
    int error = 0;
    const long got = plat::ReadFilePrefix(name, image, sizeof image, &error);
    if (got < 0) {
        Report(slot, "the race was not loaded", plat::FileErrorText(error));
        return 0;
    }
    static SavedGame game;
    char why[kSlotReasonBytes] = {};
    if (!DecodeGameSlot(image, static_cast<size_t>(got), &game, why)) {
        Report(slot, "the race was not loaded", why);
        return 0;
    }

    // The slot's stage replaces the layers only for its checks until the file is taken.
    BackUpStage(&s_stageBackup);
    g_stageLayers.stageNumber = game.stage;
    const char* fault = nullptr;
    if (!LoadStageFromMapPack("mappack.dat"))
        fault = "mappack.dat could not be read for the slot's stage";
    else if (!LoadEventScripts("epack.dat"))
        fault = "epack.dat could not be read for the slot's stage";
    else if (!CheckSavedRaceOnBoard(game, why))
        fault = why;
    if (fault != nullptr) {
        RestoreStage(s_stageBackup);
        Report(slot, "the race was not loaded", fault);
        return 0;
    }
    RebuildSavedRace(game);
    PlayMusic(kMusicBoard);
    return 1;
}
