// Shared by the graphics tests: a recording device installed as the game's device,
// and archive images holding small but valid textures and models (a solid texture's
// blue byte tells the tests which block it came from).
#pragma once
#include <cstdint>
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
            g_uiAtlas = g_uiAtlas == t ? nullptr : g_uiAtlas;
            g_fontTexture = g_fontTexture == t ? nullptr : g_fontTexture;
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
        return made.emplace_back(g_d3dDevice->CreateTexture(image));
    }
    std::vector<plat::Texture*> made;
};

using test_support::ArchiveImage;
using test_support::SolidBmp;

// A text mesh file: one triangle per material; textured[i] names a texture file for material i.
inline std::string TriangleModel(const std::vector<bool>& textured, float height = 1.0f)
{
    const std::string n = std::to_string(textured.size());
    std::string positions, faces, materialOfFace, materials;
    for (size_t i = 0; i < textured.size(); ++i) {
        const std::string x = std::to_string(i), sep = i + 1 == textured.size() ? ";" : ",";
        positions +=
            x + ".0;0.0;0.0;, " + x + ".5;0.0;0.0;, " + x + ".0;" + std::to_string(height) + ";0.0;" + sep + "\n";
        faces += "3;" + std::to_string(3 * i) + "," + std::to_string(3 * i + 1) + "," + std::to_string(3 * i + 2) +
                 ";" + sep + "\n";
        materialOfFace += x + sep + (i + 1 == textured.size() ? ";" : "");
        materials += "Material { 1.0;1.0;1.0;1.0;; 0.0; 0.0;0.0;0.0;; 0.2;0.4;0.6;; " +
                     (textured[i] ? "TextureFilename { \"t" + x + ".bmp\"; } " : std::string()) + "}\n";
    }
    return "xof 0302txt 0032\nMesh {\n" + std::to_string(3 * textured.size()) + ";\n" + positions + n + ";\n" + faces +
           "MeshMaterialList {\n" + n + ";\n" + n + ";\n" + materialOfFace + "\n" + materials + "}\n}\n";
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
