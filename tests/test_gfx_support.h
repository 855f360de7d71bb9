// Shared by the graphics tests: a recording device installed as the game's device,
// and archive images holding small but valid textures and models (a solid texture's
// blue byte tells the tests which block it came from).
#pragma once
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "engine/assets.h"
#include "engine/graphics.h"
#include "platform/backends.h"
#include "platform/gfx_device.h"
#include "platform/image_codec.h"
#include "test_support.h"

namespace gfx_test {

// Installs a recording device as the game's device for one test, with nothing loaded.
struct RecordingDevice {
    RecordingDevice()
    {
        ReleaseGraphics();
        g_d3dDevice = plat::CreateRecordingDevice();
        plat::ResetRecordedFrames();
    }
    ~RecordingDevice()
    {
        // Textures made here are the test's own; anything the game loaded goes with the device.
        for (plat::Texture* t : made) {
            if (t == g_uiAtlas)
                g_uiAtlas = nullptr;
            if (t == g_fontTexture)
                g_fontTexture = nullptr;
            if (g_d3dDevice)
                g_d3dDevice->ReleaseTexture(t);
        }
        ReleaseGraphics();
        plat::ResetRecordedFrames();
    }
    RecordingDevice(const RecordingDevice&) = delete;
    RecordingDevice& operator=(const RecordingDevice&) = delete;

    plat::Texture* MakeTexture(uint32_t width, uint32_t height, uint32_t colour = 0xFFFFFFFFu)
    {
        plat::Image image;
        image.width = image.imageWidth = width;
        image.height = image.imageHeight = height;
        image.pixels.assign(static_cast<size_t>(width) * height, colour);
        plat::Texture* t = g_d3dDevice->CreateTexture(image);
        made.push_back(t);
        return t;
    }
    std::vector<plat::Texture*> made;
};

using test_support::ArchiveImage;
using test_support::SolidBmp;

// A text mesh file: one triangle per material; textured[i] names a texture file for material i.
inline std::string TriangleModel(const std::vector<bool>& textured, float height = 1.0f)
{
    const size_t n = textured.size();
    std::string positions, faces, materialOfFace, materials;
    for (size_t i = 0; i < n; ++i) {
        const std::string x = std::to_string(i), end = (i + 1 == n) ? ";\n" : ",\n";
        positions += " " + x + ".0;0.0;0.0;,\n " + x + ".5;0.0;0.0;,\n " + x + ".0;" + std::to_string(height) + ";0.0;" + end;
        faces += " 3;" + std::to_string(3 * i) + "," + std::to_string(3 * i + 1) + "," + std::to_string(3 * i + 2) + ";" + end;
        materialOfFace += "  " + x + ((i + 1 == n) ? ";;\n" : ",\n");
        materials += "  Material {\n   1.0;1.0;1.0;1.0;;\n   0.0;\n   0.0;0.0;0.0;;\n   0.2;0.4;0.6;;\n";
        if (textured[i])
            materials += "   TextureFilename {\n    \"t" + x + ".bmp\";\n   }\n";
        materials += "  }\n";
    }
    const std::string count = std::to_string(n);
    return "xof 0302txt 0032\nMesh {\n " + std::to_string(3 * n) + ";\n" + positions + " " + count + ";\n" + faces +
           " MeshMaterialList {\n  " + count + ";\n  " + count + ";\n" + materialOfFace + materials + " }\n}\n";
}

// Every block the graphics device loads: atlas, font and board textures (solid colours),
// 25 models of one untextured triangle each, and material textures for none.
inline ArchiveImage MinimalGraphicsArchive()
{
    ArchiveImage archive;
    archive.Add(kAtlasBlock, SolidBmp(8, 8, 0xFF808080u));
    archive.Add(kFontBlock, SolidBmp(4, 4, 0xFFFFFFFFu));
    for (int i = 0; i < kBoardTextureCount; ++i)
        archive.Add(kBoardTextureFirstBlock + i, SolidBmp(2, 2, 0xFF000000u | static_cast<uint32_t>(i)));
    for (int i = 0; i < kModelCount; ++i)
        archive.Add(kModelFirstBlock + i, TriangleModel({false}));
    return archive;
}

} // namespace gfx_test
