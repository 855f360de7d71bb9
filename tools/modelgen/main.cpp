// modelgen: writes the 25 character models as text .x files (model_00.x ...) and their
// material textures (tex_00.bmp ... in the order the game's loader meets textured
// materials, model by model). With --preview it also draws every model to a PNG sheet.
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "models.h"
#include "platform/files.h"
#include "platform/image_codec.h"
#include "preview.h"
#include "textures.h"

using namespace modelgen;

namespace {

bool WriteFile(const std::string& path, const void* data, size_t size)
{
    return plat::WriteFileAtomically(path.c_str(), static_cast<const uint8_t*>(data), size);
}

std::string Numbered(const char* stem, int n, const char* ext)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s_%02d.%s", stem, n, ext);
    return buf;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: modelgen <output dir> [--preview <sheet.png>]\n");
        return 2;
    }
    std::string outDir = argv[1];
    std::string previewPath;
    for (int i = 2; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--preview") == 0)
            previewPath = argv[i + 1];

    int textureCount = 0;
    std::vector<Mesh> meshes;
    std::map<std::string, Picture> pictures;
    for (int row = 0; row < kModelCount; ++row) {
        Mesh mesh = BuildModel(row);
        std::vector<std::string> names;
        for (int m : mesh.UsedMaterials()) {
            const Material& mat = mesh.Materials()[m];
            if (mat.texture.empty())
                continue;
            Picture pic;
            if (!PaintTexture(mat.texture, pic)) {
                std::fprintf(stderr, "modelgen: no painter for texture %s\n", mat.texture.c_str());
                return 1;
            }
            std::string name = Numbered("tex", textureCount++, "bmp");
            std::vector<uint8_t> bmp = plat::EncodeBmp24(pic.pixels.data(), pic.width, pic.height);
            if (!WriteFile(outDir + "/" + name, bmp.data(), bmp.size())) {
                std::fprintf(stderr, "modelgen: cannot write %s/%s\n", outDir.c_str(), name.c_str());
                return 1;
            }
            names.push_back(name);
            pictures[mat.texture] = pic;
        }
        std::string text = mesh.WriteX(names);
        std::string path = outDir + "/" + Numbered("model", row, "x");
        if (!WriteFile(path, text.data(), text.size())) {
            std::fprintf(stderr, "modelgen: cannot write %s\n", path.c_str());
            return 1;
        }
        meshes.push_back(std::move(mesh));
    }
    if (textureCount > 67) {
        std::fprintf(stderr, "modelgen: %d material textures, the archive holds 67\n", textureCount);
        return 1;
    }

    if (!previewPath.empty()) {
        const int cw = 160, ch = 200;
        Sheet sheet;
        sheet.width = cw * 10;
        sheet.height = ch * 5;
        sheet.pixels.assign(size_t(sheet.width) * sheet.height, 0xFF000000u);
        for (int row = 0; row < kModelCount; ++row) {
            int cx = (row % 5) * 2 * cw, cy = (row / 5) * ch;
            DrawPreview(sheet, cx, cy, cw, ch, meshes[row], pictures, 0, false);
            DrawPreview(sheet, cx + cw, cy, cw, ch, meshes[row], pictures, 35, true);
        }
        if (!WritePng(previewPath, sheet)) {
            std::fprintf(stderr, "modelgen: cannot write %s\n", previewPath.c_str());
            return 1;
        }
    }
    std::printf("modelgen: %d models, %d material textures\n", kModelCount, textureCount);
    return 0;
}
