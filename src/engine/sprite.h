// 2D sprites: rectangles of a texture drawn at pixel positions of the 640 x 480 client area.
#pragma once
#include <cstdint>

namespace plat {
struct Texture;
}

struct SpriteRect {
    float left, top, right, bottom;
    friend bool operator==(const SpriteRect&, const SpriteRect&) = default;
};

struct Vertex2D {
    float x, y, z, rhw;
    uint32_t colour;
    float u, v;
};
static_assert(sizeof(Vertex2D) == 28, "screen vertices are 28 bytes");

void DrawSpriteRect(const SpriteRect& dest, const SpriteRect& src, float texWidth, float texHeight, uint32_t colour,
                    plat::Texture* texture);
float DrawSprite(float x, float y, const SpriteRect& src, float texWidth, float texHeight, uint32_t colour,
                 plat::Texture* texture);
float DrawSpriteUnrounded(float x, float y, const SpriteRect& src, float texWidth, float texHeight, uint32_t colour,
                          plat::Texture* texture);
void DrawSpriteScaled(float x, float y, const SpriteRect& src, float scale, float texWidth, float texHeight,
                      uint32_t colour, plat::Texture* texture);
float DrawAtlasSpriteScaled(float x, float y, float scale, const SpriteRect& src);
float DrawSpriteCentredX(const SpriteRect& src, float y, float texWidth, float texHeight, uint32_t colour,
                         plat::Texture* texture);
float GetCentredX(float width);
void DrawTintedPanel(float x, float y, const SpriteRect& src, float texWidth, float texHeight, uint32_t colour,
                     plat::Texture* texture);
void FillScreenWithTile(float left, float top, float right, float bottom);

// The interface atlas: every rectangle of the screens is written in texels of a
// 2048 x 2048 atlas, and white leaves a sprite as the atlas has it.
constexpr float kAtlasSize = 2048.0f;
constexpr uint32_t kOpaqueWhite = 0xFFFFFFFFu;

// The atlas texture's own size in texels (kAtlasSize while it is not loaded).
float AtlasWidth();
float AtlasHeight();

// Sprites of the interface atlas: DrawSprite, DrawSpriteCentredX and DrawTintedPanel
// from g_uiAtlas at its own size, so that no caller repeats the texture and its size.
float DrawAtlasSprite(float x, float y, const SpriteRect& src, uint32_t colour = kOpaqueWhite);
float DrawAtlasSpriteCentredX(const SpriteRect& src, float y, uint32_t colour = kOpaqueWhite);
void DrawAtlasPanel(float x, float y, const SpriteRect& src, uint32_t colour);
