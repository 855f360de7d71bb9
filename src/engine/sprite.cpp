// Sprites: a rectangle of a texture drawn at a pixel position as a fan of two
// triangles of pre-transformed vertices.
#include "engine/sprite.h"

#include "engine/assets.h"
#include "engine/graphics.h"
#include "engine/input.h"
#include "platform/gfx_device.h"

void DrawSpriteRect(const SpriteRect& dest, const SpriteRect& src, float texWidth, float texHeight, uint32_t colour,
                    plat::Texture* texture)
{
    // Pixel centres lie on whole numbers: the corners go half a pixel up and left so
    // that every texel lands on exactly one pixel. Texture coordinates get no offset.
    const float l = dest.left - 0.5f, t = dest.top - 0.5f, r = dest.right - 0.5f, b = dest.bottom - 0.5f;
    const Vertex2D vertices[4] = {
        {l, t, 0.0f, 1.0f, colour, src.left / texWidth, src.top / texHeight},
        {r, t, 0.0f, 1.0f, colour, src.right / texWidth, src.top / texHeight},
        {r, b, 0.0f, 1.0f, colour, src.right / texWidth, src.bottom / texHeight},
        {l, b, 0.0f, 1.0f, colour, src.left / texWidth, src.bottom / texHeight},
    };
    if (!g_d3dDevice)
        return;
    g_d3dDevice->SetTexture(texture);
    g_d3dDevice->SetVertexFormat(plat::kFvfScreen);
    g_d3dDevice->DrawTriangleFan(vertices, 2, sizeof(Vertex2D));
}

float DrawSprite(float x, float y, const SpriteRect& src, float texWidth, float texHeight, uint32_t colour,
                 plat::Texture* texture)
{
    const float left = RoundToNearest(x);
    const float top = RoundToNearest(y);
    const float w = RoundToNearest(src.right - src.left);
    const float h = RoundToNearest(src.bottom - src.top);
    DrawSpriteRect({left, top, left + w, top + h}, src, texWidth, texHeight, colour, texture);
    return left + w;
}

float DrawSpriteUnrounded(float x, float y, const SpriteRect& src, float texWidth, float texHeight, uint32_t colour,
                          plat::Texture* texture)
{
    const float w = src.right - src.left;
    const float h = src.bottom - src.top;
    DrawSpriteRect({x, y, x + w, y + h}, src, texWidth, texHeight, colour, texture);
    return w;
}

void DrawSpriteScaled(float x, float y, const SpriteRect& src, float scale, float texWidth, float texHeight,
                      uint32_t colour, plat::Texture* texture)
{
    const float left = RoundToNearest(x);
    const float top = RoundToNearest(y);
    const float w = src.right - src.left;
    const float h = src.bottom - src.top;
    const float right = RoundToNearest(w * scale + left);
    const float bottom = RoundToNearest(h * scale + top);
    DrawSpriteRect({left, top, right, bottom}, src, texWidth, texHeight, colour, texture);
}

float DrawAtlasSpriteScaled(float x, float y, float scale, const SpriteRect& src)
{
    const float w = RoundToNearest((src.right - src.left) * scale);
    const float h = RoundToNearest((src.bottom - src.top) * scale);
    DrawSpriteRect({x, y, x + w, y + h}, src, AtlasWidth(), AtlasHeight(), kOpaqueWhite, g_uiAtlas);
    return x + w;
}

float GetCentredX(float width)
{
    const float space = 640.0f - width;
    return space / 2.0f;
}

float DrawSpriteCentredX(const SpriteRect& src, float y, float texWidth, float texHeight, uint32_t colour,
                         plat::Texture* texture)
{
    const float x = RoundToNearest(GetCentredX(src.right - src.left));
    DrawSprite(x, y, src, texWidth, texHeight, colour, texture);
    return x;
}

void DrawTintedPanel(float x, float y, const SpriteRect& src, float texWidth, float texHeight, uint32_t colour,
                     plat::Texture* texture)
{
    // The 2-pixel border keeps its own colours; only the inside takes the tint.
    const float w = src.right - src.left;
    const float h = src.bottom - src.top;
    const float l = src.left, t = src.top, r = src.right, b = src.bottom;
    const uint32_t white = 0xFFFFFFFFu;
    DrawSprite(x, y, {l, t, r, t + 2.0f}, texWidth, texHeight, white, texture);
    DrawSprite(x, y + h - 2.0f, {l, b - 2.0f, r, b}, texWidth, texHeight, white, texture);
    DrawSprite(x, y, {l, t, l + 2.0f, b}, texWidth, texHeight, white, texture);
    DrawSprite(x + w - 2.0f, y, {r - 2.0f, t, r, b}, texWidth, texHeight, white, texture);
    DrawSprite(x + 2.0f, y + 2.0f, {l + 2.0f, t + 2.0f, r - 2.0f, b - 2.0f}, texWidth, texHeight, colour, texture);
}

void FillScreenWithTile(float left, float top, float right, float bottom)
{
    const SpriteRect tile = {left, top, right, bottom};
    float y = 0.0f;
    for (int row = 0; row < 15; ++row) {
        float x = 0.0f;
        for (int column = 0; column < 20; ++column) {
            DrawAtlasSprite(x, y, tile);
            x += 32.0f;
        }
        y += 32.0f;
    }
}

float AtlasWidth()
{
    return g_uiAtlas ? static_cast<float>(g_uiAtlas->width) : kAtlasSize;
}

float AtlasHeight()
{
    return g_uiAtlas ? static_cast<float>(g_uiAtlas->height) : kAtlasSize;
}

float DrawAtlasSprite(float x, float y, const SpriteRect& src, uint32_t colour)
{
    return DrawSprite(x, y, src, AtlasWidth(), AtlasHeight(), colour, g_uiAtlas);
}

float DrawAtlasSpriteCentredX(const SpriteRect& src, float y, uint32_t colour)
{
    return DrawSpriteCentredX(src, y, AtlasWidth(), AtlasHeight(), colour, g_uiAtlas);
}

void DrawAtlasPanel(float x, float y, const SpriteRect& src, uint32_t colour)
{
    DrawTintedPanel(x, y, src, AtlasWidth(), AtlasHeight(), colour, g_uiAtlas);
}
