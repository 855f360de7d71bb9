#include "preview.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace modelgen {

void DrawPreview(Sheet& sheet, int cellX, int cellY, int cellW, int cellH, const Mesh& mesh,
                 const std::map<std::string, Picture>& textures, float yawDeg, bool shaded)
{
    std::vector<float> depth(size_t(cellW) * cellH, 1e9f);
    for (int y = 0; y < cellH; ++y)
        for (int x = 0; x < cellW; ++x)
            sheet.pixels[size_t(cellY + y) * sheet.width + cellX + x] = 0xFF405060;
    const float scale = cellH / 2.4f;
    const float a = yawDeg * 3.14159265f / 180;
    const float ca = std::cos(a), sa = std::sin(a);
    auto project = [&](Vec3 p, float& sx, float& sy, float& sz) {
        float x = p.x * ca - p.z * sa, z = p.x * sa + p.z * ca; // camera on -z looking at +z
        sx = cellW * 0.5f + x * scale;
        sy = cellH - 0.1f * scale - p.y * scale;
        sz = z;
    };
    const auto& verts = mesh.Vertices();
    const auto& idx = mesh.Indices();
    const auto& mats = mesh.Materials();
    for (size_t t = 0; t < mesh.TriMaterials().size(); ++t) {
        const Material& mat = mats[mesh.TriMaterials()[t]];
        const Picture* tex = nullptr;
        if (!mat.texture.empty()) {
            auto it = textures.find(mat.texture);
            if (it != textures.end())
                tex = &it->second;
        }
        float px[3], py[3], pz[3], pu[3], pv[3];
        for (int k = 0; k < 3; ++k) {
            const Vertex& v = verts[idx[3 * t + k]];
            project(v.p, px[k], py[k], pz[k]);
            pu[k] = v.u;
            pv[k] = v.v;
        }
        const Vertex& v0 = verts[idx[3 * t]];
        float nz = -(v0.n.x * sa + v0.n.z * ca);
        float light = shaded ? 0.55f + 0.45f * std::fabs(nz) : 1.0f;
        float area = (px[1] - px[0]) * (py[2] - py[0]) - (py[1] - py[0]) * (px[2] - px[0]);
        if (std::fabs(area) < 1e-6f)
            continue;
        int x0 = std::max(0, int(std::floor(std::min({px[0], px[1], px[2]}))));
        int x1 = std::min(cellW - 1, int(std::ceil(std::max({px[0], px[1], px[2]}))));
        int y0 = std::max(0, int(std::floor(std::min({py[0], py[1], py[2]}))));
        int y1 = std::min(cellH - 1, int(std::ceil(std::max({py[0], py[1], py[2]}))));
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) {
                float qx = x + 0.5f, qy = y + 0.5f;
                float w0 = ((px[1] - qx) * (py[2] - qy) - (py[1] - qy) * (px[2] - qx)) / area;
                float w1 = ((px[2] - qx) * (py[0] - qy) - (py[2] - qy) * (px[0] - qx)) / area;
                float w2 = 1 - w0 - w1;
                if (w0 < 0 || w1 < 0 || w2 < 0)
                    continue;
                float z = w0 * pz[0] + w1 * pz[1] + w2 * pz[2];
                float& d = depth[size_t(y) * cellW + x];
                if (z >= d)
                    continue;
                d = z;
                float r = mat.emissive.r, g = mat.emissive.g, b = mat.emissive.b;
                if (tex) {
                    float u = w0 * pu[0] + w1 * pu[1] + w2 * pu[2], v = w0 * pv[0] + w1 * pv[1] + w2 * pv[2];
                    int tx = int(std::floor(u * tex->width)) % int(tex->width);
                    int ty = int(std::floor(v * tex->height)) % int(tex->height);
                    if (tx < 0)
                        tx += tex->width;
                    if (ty < 0)
                        ty += tex->height;
                    uint32_t texel = tex->pixels[size_t(ty) * tex->width + tx];
                    r *= ((texel >> 16) & 255) / 255.0f;
                    g *= ((texel >> 8) & 255) / 255.0f;
                    b *= (texel & 255) / 255.0f;
                }
                auto c8 = [light](float c) { return uint32_t(std::clamp(c * light, 0.0f, 1.0f) * 255 + 0.5f); };
                sheet.pixels[size_t(cellY + y) * sheet.width + cellX + x] =
                    0xFF000000u | (c8(r) << 16) | (c8(g) << 8) | c8(b);
            }
    }
}

bool WritePng(const std::string& path, const Sheet& sheet)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, sheet.width, sheet.height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<uint8_t> row(size_t(sheet.width) * 3);
    for (uint32_t y = 0; y < sheet.height; ++y) {
        for (uint32_t x = 0; x < sheet.width; ++x) {
            uint32_t p = sheet.pixels[size_t(y) * sheet.width + x];
            row[3 * x] = uint8_t(p >> 16);
            row[3 * x + 1] = uint8_t(p >> 8);
            row[3 * x + 2] = uint8_t(p);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(f) == 0;
}

} // namespace modelgen
