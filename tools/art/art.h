// The art tool's parts: each draws one kind of picture.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "canvas.h"
#include "text.h"

namespace art {

// ---- sources (content/art) ----
struct RectRow {
    std::string texture; // atlas, font or board
    Rect r;
    std::string element;
    std::string what;
};
bool LoadRectList(const std::string& path, std::vector<RectRow>& out, std::string& error);
bool LoadCharacterNames(const std::string& path, std::vector<std::string>& names, std::string& error);

// ---- characters and teams ----
constexpr int kCharacterCount = 25;
extern const char* const kMonsterNames[7];
extern const char* const kTeamNames[4];
struct TeamLook {
    uint32_t main, dark, light, trim;
};
TeamLook TeamColours(int team); // 0..2 teams, 3 the roaming monsters

// Draws character id (0..24) as a bust into dst: the card portrait (200 x 260)
// when face is false, a close-up of the head when it is true.
void DrawCharacter(Canvas& c, Rect dst, int id, bool face);
// The same figure without its backdrop, local (0, 0) at (x, y), for scenes.
void DrawFigureAt(Canvas& c, float x, float y, float scale, int id);

// ---- scenes ----
void DrawTitlePicture(Canvas& c, Rect dst);
void DrawWorldPicture(Canvas& c, Rect dst);
void DrawLogo(Canvas& c, Rect dst);

// ---- atlas ----
void DrawAtlas(Canvas& c, const std::vector<RectRow>& rows, const std::vector<std::string>& names);

// ---- font texture ----
constexpr int kGlyphCellHeight = 20; // the band a text row centres its glyphs in
constexpr int kGlyphPixelSize = 19;
uint32_t Cp932ToUnicode(const char* code);
// The glyph's ink mask for the rectangle and where it goes inside the texture.
struct PlacedGlyph {
    Mask mask;
    int x = 0, y = 0;
};
PlacedGlyph PlaceGlyph(uint32_t codepoint, Rect rect);
void DrawFontTexture(Canvas& c);
bool GenerateGlyphTable(const std::string& path, std::string& error);

// ---- board textures ----
extern const char* const kBoardNames[32];
Canvas DrawBoardTexture(int index);

} // namespace art
