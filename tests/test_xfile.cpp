#include "platform/xfile.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A refused file says why and leaves nothing behind.
plat::XMeshData Parse(const std::string& text, bool ok = true, const char* what = "")
{
    plat::XMeshData m;
    std::string err;
    EXPECT_EQ(plat::ParseXFile(reinterpret_cast<const uint8_t*>(text.data()), text.size(), m, &err), ok) << what << err;
    if (!ok)
        EXPECT_TRUE(!err.empty() && m.positions.empty() && m.indices.empty() && m.materials.empty()) << what;
    return m;
}

const std::string kHeader = "xof 0302txt 0032\n";
const std::string kMaterial = "Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; }";

// A unit quad in the z = 0 plane, as one four-cornered face.
std::string QuadMesh(const std::string& name, const std::string& children = "")
{
    return "Mesh " + name +
           " {\n 4;\n 0.0; 0.0; 0.0;,\n 1.0; 0.0; 0.0;,\n 1.0; 1.0; 0.0;,\n 0.0; 1.0; 0.0;;\n 1;\n"
           " 4; 0, 1, 2, 3;;\n" +
           children + "}\n";
}

TEST(XFile, QuadIsTriangulatedAsAFanWithADefaultMaterial)
{
    plat::XMeshData m = Parse(kHeader + QuadMesh("quad"));
    ASSERT_EQ(m.positions.size(), 12u);
    ASSERT_EQ(m.indices, (std::vector<uint32_t>{0, 1, 2, 0, 2, 3}));
    EXPECT_EQ(m.triangleMaterial, (std::vector<uint32_t>{0, 0}));
    ASSERT_EQ(m.materials.size(), 1u);
    EXPECT_EQ(std::vector<float>(m.materials[0].diffuse, m.materials[0].diffuse + 4),
              std::vector<float>(4, 1.0f)); // white
    EXPECT_TRUE(m.materials[0].textureFile.empty() && m.normals.empty() && m.texCoords.empty() && m.colours.empty());
    EXPECT_FALSE(Parse("xof 0303txt 0064" + QuadMesh("q")).positions.empty());
}

TEST(XFile, MaterialsTextureCoordsAndColours)
{
    // Two triangles of different materials.
    plat::XMeshData m = Parse(kHeader + R"(Mesh two { 4; 0;0;0;, 1;0;0;, 1;1;0;, 0;1;0;; 2; 3;0,1,2;, 3;0,2,3;;
  MeshMaterialList { 2; 2; 1, 0;;
    Material red { 1.0; 0.0; 0.0; 0.5;; 12.5; 0.1; 0.2; 0.3;; 0.4; 0.5; 0.6;; TextureFilename { "tex\\red.bmp"; } }
    Material { 0; 0; 1; 1;; 0; 0; 0; 0;; 0; 0; 0;; } }
  MeshTextureCoords { 4; 0;0;, 1;0;, 1;1;, 0;1;; }
  MeshVertexColors { 2; 0; 1.0; 0.0; 0.0; 1.0;;, 3; 0.0; 0.0; 1.0; 0.5;;; }
  VertexDuplicationIndices { 4; 4; 0, 1, 2, 3; } })");
    EXPECT_EQ(m.triangleMaterial, (std::vector<uint32_t>{1, 0}));
    ASSERT_EQ(m.materials.size(), 2u);
    const plat::XMaterial& red = m.materials[0];
    EXPECT_EQ((std::vector<float>{red.diffuse[0], red.diffuse[3], red.power, red.specular[2], red.emissive[0]}),
              (std::vector<float>{1.0f, 0.5f, 12.5f, 0.3f, 0.4f}));
    EXPECT_EQ(red.textureFile, "tex\\\\red.bmp");
    EXPECT_TRUE(m.materials[1].textureFile.empty() && m.materials[1].diffuse[2] == 1.0f);
    EXPECT_EQ(m.texCoords, (std::vector<float>{0, 0, 1, 0, 1, 1, 0, 1}));
    // Vertex 1 is not listed: white.
    EXPECT_EQ(m.colours, (std::vector<uint32_t>{0xFFFF0000u, 0xFFFFFFFFu, 0xFFFFFFFFu, 0x800000FFu}));
}

TEST(XFile, NestedFrameTransformsApplyChildFirst)
{
    // Child scales by 2, parent translates by (10, 0, 0): (1, 0, 0) -> (12, 0, 0).
    plat::XMeshData m = Parse(kHeader + R"(template Frame { <3D82AB46-62DA-11cf-AB39-0020AF71E433> [...] }
Header { 1; 0; 1; }
Frame Root { FrameTransformMatrix { 1.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0, 10.0, 0.0, 0.0, 1.0;; }
  Frame Child { FrameTransformMatrix { 2,0,0,0, 0,2,0,0, 0,0,2,0, 0,0,0,1;; }
)" + QuadMesh("q", "MeshNormals { 1; 0; 0; -1;; 1; 4; 0, 0, 0, 0;; }") +
                              R"(} }
AnimationSet walk { Animation { { Child } AnimationKey { 0; 1; 0; 4; 1, 0, 0, 0;;; } } })");
    EXPECT_EQ(m.positions, (std::vector<float>{10, 0, 0, 12, 0, 0, 12, 2, 0, 10, 2, 0}));
    ASSERT_EQ(m.normals.size(), 12u); // scaled, then normalised again
    EXPECT_FLOAT_EQ(m.normals[2], -1.0f);
}

TEST(XFile, MeshesMergeWithOffsetsAndMaterialReferences)
{
    plat::XMeshData m = Parse(
        kHeader +
        "Material 3dsShared { 0.0; 1.0; 0.0; 1.0;; 5.0; 1; 1; 1;; 0; 0; 0;; TextureFilename { \"green.png\"; } }\n" +
        QuadMesh("a", "MeshMaterialList { 1; 1; 0;; { 3dsShared } }") +
        "Frame F { FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,5,1;; }\n" +
        QuadMesh("b", "MeshMaterialList { 2; 1; 1;; " + kMaterial + " { 3dsShared } }") + "}\n");
    ASSERT_EQ(m.positions.size(), 24u);
    EXPECT_EQ(m.indices, (std::vector<uint32_t>{0, 1, 2, 0, 2, 3, 4, 5, 6, 4, 6, 7}));
    EXPECT_EQ(m.triangleMaterial, (std::vector<uint32_t>{0, 0, 2, 2}));
    ASSERT_EQ(m.materials.size(), 3u);
    EXPECT_EQ(
        (std::vector<std::string>{m.materials[0].textureFile, m.materials[1].textureFile, m.materials[2].textureFile}),
        (std::vector<std::string>{"green.png", "", "green.png"}));
    EXPECT_FLOAT_EQ(m.materials[2].power, 5.0f);
    // The second mesh is moved by its frame.
    EXPECT_EQ(std::make_pair(m.positions[2], m.positions[12 + 2]), std::make_pair(0.0f, 5.0f));
}

TEST(XFile, NormalsPerCornerSplitSharedVertices)
{
    // Two triangles share the edge 0-2 but disagree on its normals: vertices 0 and 2 gain a copy.
    plat::XMeshData m = Parse(kHeader + "Mesh s { 4; 0;0;0;, 1;0;0;, 1;1;0;, 0;1;0;; 2; 3;0,1,2;, 3;0,2,3;;\n"
                                        "MeshNormals { 2; 0;0;1;, 0;1;0;; 2; 3;0,0,0;, 3;1,1,1;; }\n"
                                        "MeshTextureCoords { 4; 0;0;, 1;0;, 1;1;, 0;1;; } }\n");
    ASSERT_EQ((std::vector<size_t>{m.positions.size(), m.normals.size(), m.texCoords.size(), m.indices.size()}),
              (std::vector<size_t>{18, 18, 12, 6}));
    for (size_t c = 0; c < 6; ++c)
        EXPECT_FLOAT_EQ(m.normals[m.indices[c] * 3 + 2], c < 3 ? 1.0f : 0.0f) << c;
    EXPECT_FLOAT_EQ(m.positions[m.indices[4] * 3 + 0], 1.0f); // the copy of vertex 2
    EXPECT_FLOAT_EQ(m.texCoords[m.indices[4] * 2 + 1], 1.0f);
}

TEST(XFile, MalformedInputIsRefused)
{
    const std::string& h = kHeader;
    std::string deep;
    for (int i = 0; i < 100; ++i)
        deep += "Frame F {";
    const std::pair<std::string, const char*> cases[] = {
        {"xof 0302bin 0032\x01\x02\x03", "binary"},
        {std::string("xof 0302tzip0032\x00\x01", 18), "compressed"},
        {"xof 0302txt", "short header"},
        {"abc 0302txt 0032" + QuadMesh("q"), "no magic"},
        {h + "template T { <1-2> DWORD x; }\nHeader { 1; 0; 1; }\n", "no mesh"},
        {h + "Mesh q {\n 1; 0;0;0;; 0;;", "missing closing brace"},
        {h + "Mesh q { 4; 0;0;0;, 1;0;0;; 1; 3; 0,1,2;; }", "too few vertices"},
        {h + "Mesh q { 3; 0;0;0;, 1;0;0;, 1;1;0;; 1; 3; 0,1,3;; }", "index out of range"},
        {h + "Mesh q { 3; 0;0;0;, 1;0;0;, 1;1;0;; 2; 3; 0,1,2;; }", "missing face"},
        {h + "Mesh q { 3; 0;0;0;, 1;0;0;, 1;1;0;; 1; 3; 0,1,-1;; }", "negative index"},
        {h + "Mesh q { 2000000; 0;0;0;; 0;; }", "absurd count"},
        {h + "Mesh q { 99999999999999999999999; }", "count overflowing 64 bits"},
        {h + "Mesh q { 1; 1.#QNAN0; 0; 0;; 0;; }", "NaN coordinate"},
        {h + "Mesh q { 1; 1e999; 0; 0;; 0;; }", "overflowing coordinate"},
        {h + "Mesh q { 1; nan; 0; 0;; 0;; }", "nan spelled as a word"},
        {h + "Mesh q { 1.5; 0;0;0;; 0;; }", "fractional count"},
        {h + QuadMesh("q", "MeshMaterialList { 1; 1; 1;; " + kMaterial + " }"), "material index out of range"},
        {h + QuadMesh("q", "MeshMaterialList { 2; 1; 0;; " + kMaterial + " }"), "fewer materials than declared"},
        {h + QuadMesh("q", "MeshMaterialList { 1; 2; 0, 0;; " + kMaterial + " }"), "more indices than faces"},
        {h + QuadMesh("q", "MeshMaterialList { 1; 1; 0;; { Missing } }"), "unknown reference"},
        {h + QuadMesh("q", "MeshTextureCoords { 3; 0;0;, 1;0;, 1;1;; }"), "short texture coords"},
        {h + QuadMesh("q", "MeshNormals { 1; 0;0;1;; 1; 4; 0,0,0,1;; }"), "normal index out of range"},
        {h + QuadMesh("q", "MeshNormals { 1; 0;0;1;; 1; 3; 0,0,0;; }"), "normal face size differs"},
        {h + QuadMesh("q", "MeshVertexColors { 1; 9; 1;1;1;1;;; }"), "colour index out of range"},
        {h + "Mesh q { 1; 0;0;0;; 0;; } }", "stray closing brace"},
        {h + "Mesh q { 1; 0;0;0;; 0;; } \"unterminated", "unterminated string"},
        {h + "template T { <1-2-3", "unterminated GUID"},
        {h + deep + QuadMesh("q") + std::string(100, '}'), "frames nested too deeply"},
        {h + std::string(5000, '{'), "unbalanced braces"},
    };
    for (const auto& [text, what] : cases)
        Parse(text, false, what);
    plat::XMeshData m;
    EXPECT_FALSE(plat::ParseXFile(nullptr, 0, m));
}

TEST(XFile, EveryPrefixOfAValidFileIsRefusedOrParsed)
{
    // Cutting a file anywhere must end in a clean refusal (or, past the last
    // brace, a clean parse); the exact-length copy lets ASan catch any overread.
    const std::string text =
        kHeader + QuadMesh("q", "MeshMaterialList { 1; 1; 0;; Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; "
                                "TextureFilename { \"t.bmp\"; } } }");
    const size_t lastBrace = text.rfind('}');
    for (size_t n = 0; n < text.size(); ++n) {
        std::vector<uint8_t> cut(text.begin(), text.begin() + long(n));
        plat::XMeshData m;
        EXPECT_EQ(plat::ParseXFile(cut.data(), cut.size(), m), n > lastBrace) << "prefix " << n;
    }
}

} // namespace
