#include "models.h"

#include <cmath>
#include <string>

#include "textures.h"

namespace modelgen {

const char* const kModelAssetNames[kModelCount] = {"tuintail",  "majo_aka",  "majo_midori",   "majo_ao",  "sinkan",
                                                   "bamp",      "kaboko",    "nezumi",        "ookami",   "chuka",
                                                   "woman1",    "neko",      "majo_sima",     "majo_gin", "majo_kin",
                                                   "majo_siro", "blue_bany", "murasaki_bany", "akuma",    "eyes",
                                                   "kabo",      "tunousagi", "hebi",          "kumo",     "ooku"};

namespace {

constexpr float kPi = 3.14159265358979f;

enum class Hair { Short, TwinTails, Long, Buns, Ponytail, Bob };
enum class Hat { None, Ribbon, Witch, Mitre, Pumpkin, MouseEars, WolfEars, CatEars, BunnyEars, Circlet };
enum class Weapon { Staff, Wand, Sword, Spear, Axe, Book, Fan, Claws, Broom };
enum class Outfit { Dress, Robe, Tunic, Leotard };

struct CharSpec {
    Hair hair;
    uint32_t hairColour;
    Hat hat;
    Weapon weapon;
    Outfit outfit;
    float clothesShade; // variation of the team colour between members
    uint32_t hatColour; // 0: the team colour
    uint32_t clothes;   // 0: the team colour shaded by clothesShade
    uint32_t trim;      // 0: the team's accent
};

// Team looks: crimson with gold, royal blue with silver, forest green with brown.
const uint32_t kTeamMain[3] = {0xB01428, 0x2440C0, 0x1E6E2C};
const uint32_t kTeamAccent[3] = {0xF0C030, 0xD0D4E0, 0x8A5A28};

const CharSpec kChars[18] = {
    {Hair::TwinTails, 0xF6C850, Hat::Ribbon, Weapon::Sword, Outfit::Dress, 1.0f, 0xD02030, 0, 0},
    {Hair::Long, 0xC83020, Hat::Witch, Weapon::Staff, Outfit::Robe, 0.85f, 0x9A1020, 0, 0},
    {Hair::Long, 0x3A9A4A, Hat::Witch, Weapon::Wand, Outfit::Dress, 1.15f, 0x5A1020, 0, 0},
    {Hair::Bob, 0x3A60C8, Hat::Witch, Weapon::Broom, Outfit::Robe, 1.05f, 0x701828, 0, 0},
    {Hair::Short, 0x8A5A30, Hat::Mitre, Weapon::Book, Outfit::Robe, 1.0f, 0xF4F0E8, 0xF0ECE0, 0xC8283C},
    {Hair::Long, 0xE8E8F4, Hat::None, Weapon::Spear, Outfit::Tunic, 1.0f, 0, 0x28202A, 0xC8283C},
    {Hair::Bob, 0xE87020, Hat::Pumpkin, Weapon::Wand, Outfit::Tunic, 1.0f, 0xF08A20, 0, 0},
    {Hair::Bob, 0x9A9AA6, Hat::MouseEars, Weapon::Sword, Outfit::Tunic, 0.85f, 0xA8A8B4, 0, 0},
    {Hair::Long, 0x6A6470, Hat::WolfEars, Weapon::Axe, Outfit::Tunic, 0.7f, 0x6A6470, 0, 0},
    {Hair::Buns, 0x202030, Hat::None, Weapon::Fan, Outfit::Dress, 1.0f, 0, 0x2A56C8, 0xE8C050},
    {Hair::Long, 0x7A4A28, Hat::Circlet, Weapon::Spear, Outfit::Dress, 0.95f, 0xD8DCE6, 0, 0},
    {Hair::Short, 0xF09A40, Hat::CatEars, Weapon::Claws, Outfit::Leotard, 1.1f, 0xF09A40, 0, 0},
    {Hair::Long, 0x202028, Hat::Witch, Weapon::Staff, Outfit::Robe, 1.0f, 0x2E8A3E, 0, 0},
    {Hair::Long, 0xC8CCD8, Hat::Witch, Weapon::Wand, Outfit::Dress, 0.8f, 0x1E5A2A, 0, 0},
    {Hair::Long, 0xF0C030, Hat::Witch, Weapon::Broom, Outfit::Dress, 1.2f, 0x2A6A30, 0, 0},
    {Hair::Bob, 0xF8F8FF, Hat::Witch, Weapon::Book, Outfit::Robe, 0.9f, 0xF0F0F4, 0, 0},
    {Hair::Short, 0x4A80E0, Hat::BunnyEars, Weapon::Spear, Outfit::Leotard, 1.0f, 0x4A80E0, 0, 0},
    {Hair::Long, 0x9A50C8, Hat::BunnyEars, Weapon::Fan, Outfit::Leotard, 0.8f, 0x9A50C8, 0, 0},
};

Xform Down(Vec3 at, float outDeg)
{
    return Rot(at, 0, 0, 180 + outDeg);
} // +y turned down, tilted out

// A witch's hat, pointed and slightly bent back; striped hats alternate two colours.
void WitchHat(Mesh& m, float y, int mat, int band, int stripe)
{
    m.Cylinder(At({0, y, 0.02f}), 0.42f, 0.40f, 0.03f, mat, 14);
    m.Cylinder(At({0, y + 0.03f, 0.02f}), 0.23f, 0.22f, 0.06f, band, 12);
    const int parts = stripe >= 0 ? 4 : 1;
    float r0 = 0.22f, h = 0.4f / parts;
    Vec3 base{0, y + 0.09f, 0.02f};
    for (int i = 0; i < parts; ++i) {
        float r1 = 0.22f * (1.0f - float(i + 1) / parts);
        Xform at = Rot(base, 10.0f * i / parts + 6, 0, 0);
        m.Cylinder(at, r0, r1, h, (stripe >= 0 && i % 2) ? stripe : mat, 10, i == 0);
        base = at.Point({0, h, 0});
        r0 = r1;
    }
}

void Weapon(Mesh& m, Weapon w, Vec3 hand, int accent, int team)
{
    int wood = m.Mat(Hex(0x7A4A20));
    int steel = m.Mat(Hex(0xD8DCE4));
    switch (w) {
    case Weapon::Staff:
        m.Cylinder(At({hand.x, 0.05f, hand.z - 0.04f}), 0.028f, 0.028f, 1.22f, wood, 6);
        m.Sphere(At({hand.x, 1.32f, hand.z - 0.04f}), {0.09f, 0.09f, 0.09f}, m.Mat(Hex(0x60E0FF)), 8, 6);
        m.Cylinder(At({hand.x, 1.2f, hand.z - 0.04f}), 0.04f, 0.06f, 0.07f, accent, 6);
        break;
    case Weapon::Wand: {
        Xform at = Rot(hand, -50, 0, 0);
        m.Cylinder(at, 0.02f, 0.015f, 0.34f, m.Mat(Hex(0xF8F0E0)), 6);
        Vec3 tip = at.Point({0, 0.36f, 0});
        m.Sphere(At(tip), {0.06f, 0.06f, 0.06f}, m.Mat(Hex(0xFFE040)), 6, 4);
        break;
    }
    case Weapon::Sword:
        m.Box(At({hand.x, hand.y + 0.33f, hand.z - 0.06f}), {0.05f, 0.56f, 0.016f}, steel);
        m.Box(At({hand.x, hand.y + 0.04f, hand.z - 0.06f}), {0.2f, 0.04f, 0.06f}, accent);
        m.Box(At({hand.x, hand.y - 0.04f, hand.z - 0.06f}), {0.04f, 0.12f, 0.04f}, wood);
        break;
    case Weapon::Spear:
        m.Cylinder(At({hand.x, 0.04f, hand.z - 0.05f}), 0.022f, 0.022f, 1.38f, wood, 6);
        m.Cylinder(At({hand.x, 1.42f, hand.z - 0.05f}), 0.06f, 0.0f, 0.22f, steel, 6);
        m.Cylinder(At({hand.x, 1.38f, hand.z - 0.05f}), 0.04f, 0.06f, 0.04f, accent, 6);
        break;
    case Weapon::Axe:
        m.Cylinder(At({hand.x, hand.y - 0.2f, hand.z - 0.05f}), 0.028f, 0.028f, 0.85f, wood, 6);
        m.Box(At({hand.x + 0.1f, hand.y + 0.5f, hand.z - 0.05f}), {0.2f, 0.24f, 0.03f}, steel);
        break;
    case Weapon::Book:
        m.Box(Rot({hand.x - 0.02f, hand.y + 0.05f, hand.z - 0.1f}, 0, 0, 10), {0.2f, 0.26f, 0.07f}, accent);
        m.Box(Rot({hand.x - 0.02f, hand.y + 0.05f, hand.z - 0.1f}, 0, 0, 10), {0.18f, 0.24f, 0.08f},
              m.Mat(Hex(0xF8F4E8)));
        break;
    case Weapon::Fan: {
        Vec3 c{hand.x + 0.02f, hand.y + 0.04f, hand.z - 0.1f};
        int paper = m.Mat(team == 1 ? Hex(0xF04060) : Hex(0xF0A0D0));
        for (int i = 0; i < 5; ++i) {
            float a0 = (30 + i * 24) * kPi / 180, a1 = (30 + (i + 1) * 24) * kPi / 180;
            m.Tri(c, c + Vec3{std::cos(a0) * 0.3f, std::sin(a0) * 0.3f, 0},
                  c + Vec3{std::cos(a1) * 0.3f, std::sin(a1) * 0.3f, 0}, i % 2 ? accent : paper);
        }
        break;
    }
    case Weapon::Claws:
        for (int side = -1; side <= 1; side += 2)
            for (int k = -1; k <= 1; ++k)
                m.Cylinder(Rot({side * hand.x + k * 0.025f, hand.y - 0.02f, hand.z - 0.03f}, -100, 0, 0), 0.018f, 0.0f,
                           0.16f, steel, 4);
        break;
    case Weapon::Broom: {
        Xform at = Rot({hand.x, 0.32f, hand.z + 0.22f}, -25, 0, 0);
        m.Cylinder(at, 0.025f, 0.025f, 1.05f, wood, 6);
        m.Cylinder(Then(Rot({0, 0, 0}, 180, 0, 0), at), 0.04f, 0.13f, 0.22f, m.Mat(Hex(0xD8B050)), 8);
        break;
    }
    }
}

Mesh BuildCharacter(int row)
{
    const CharSpec& cs = kChars[row];
    const int team = row / 6;
    Mesh m;
    Colour main = cs.clothes ? Hex(cs.clothes) : Shade(Hex(kTeamMain[team]), cs.clothesShade);
    Colour accentCol = Hex(cs.trim ? cs.trim : kTeamAccent[team]);
    int clothes = m.Mat(main);
    int dark = m.Mat(Shade(main, 0.55f));
    int accent = m.Mat(accentCol);
    int skin = m.Mat(Hex(FaceSkin(row) & 0xFFFFFF));
    int hair = m.Mat(Hex(cs.hairColour));
    int hatMat = cs.hatColour ? m.Mat(Hex(cs.hatColour)) : clothes;
    int shoe = m.Mat(team == 1 ? Hex(0x303848) : Shade(accentCol, 0.55f));
    int face = m.TexMat("face:" + std::to_string(row));
    int emblem = m.TexMat("emblem:" + std::to_string(team));

    // Feet and legs.
    int legs = cs.outfit == Outfit::Tunic ? dark : skin;
    if (row == 12)
        legs = m.Mat(Hex(0x202020)); // striped stockings show their dark stripes
    for (int side = -1; side <= 1; side += 2) {
        m.Box(At({side * 0.1f, 0.05f, -0.03f}), {0.13f, 0.1f, 0.24f}, shoe);
        if (cs.outfit != Outfit::Robe) {
            m.Cylinder(At({side * 0.1f, 0.08f, 0}), 0.06f, 0.07f, 0.4f, legs, 8);
            if (row == 12)
                for (int k = 0; k < 3; ++k)
                    m.Cylinder(At({side * 0.1f, 0.14f + k * 0.1f, 0}), 0.071f, 0.072f, 0.05f, m.Mat(Hex(0xF0F0F0)), 8,
                               false);
        }
    }
    // Lower body.
    switch (cs.outfit) {
    case Outfit::Dress:
        m.Cylinder(At({0, 0.3f, 0}), 0.32f, 0.17f, 0.42f, clothes, 12);
        m.Cylinder(At({0, 0.3f, 0}), 0.33f, 0.31f, 0.05f, accent, 12, false);
        break;
    case Outfit::Robe:
        m.Cylinder(At({0, 0.02f, 0}), 0.33f, 0.18f, 0.72f, clothes, 12);
        m.Cylinder(At({0, 0.02f, 0}), 0.34f, 0.32f, 0.06f, accent, 12, false);
        m.Box(At({0, 0.38f, -0.2f}), {0.08f, 0.7f, 0.05f}, accent); // front trim
        break;
    case Outfit::Tunic: m.Cylinder(At({0, 0.36f, 0}), 0.24f, 0.18f, 0.3f, clothes, 10); break;
    case Outfit::Leotard:
        m.Box(At({0, 0.5f, 0}), {0.3f, 0.14f, 0.2f}, dark);
        m.Sphere(At({0, 0.5f, 0.13f}), {0.07f, 0.07f, 0.07f}, m.Mat(Hex(0xFFFFFF)), 6, 4); // tail puff
        break;
    }
    // Torso with the team emblem on the chest, belt.
    m.Box(At({0, 0.72f, 0}), {0.34f, 0.32f, 0.22f}, clothes, emblem);
    m.Box(At({0, 0.58f, 0}), {0.36f, 0.05f, 0.24f}, accent);
    // Shoulders, arms hanging a little outward, hands.
    Vec3 hand{};
    for (int side = -1; side <= 1; side += 2) {
        Vec3 shoulder{side * 0.2f, 0.84f, 0};
        m.Sphere(At(shoulder), {0.08f, 0.07f, 0.08f}, accent, 8, 5);
        float out = 15.0f * side;
        Xform arm = Down(shoulder, out);
        m.Cylinder(arm, 0.055f, 0.045f, 0.32f, cs.outfit == Outfit::Leotard ? skin : clothes, 8);
        Vec3 h = arm.Point({0, 0.34f, 0});
        m.Sphere(At(h), {0.055f, 0.055f, 0.055f}, skin, 6, 4);
        if (side > 0)
            hand = h;
    }
    // Neck, head with the painted face, hair.
    m.Cylinder(At({0, 0.86f, 0}), 0.06f, 0.06f, 0.06f, skin, 6);
    const float hy = 1.1f;
    m.FaceSphere(At({0, hy, 0}), {0.25f, 0.24f, 0.23f}, skin, face, 12, 8);
    switch (cs.hair) {
    case Hair::Bob: m.Sphere(At({0, hy, 0.06f}), {0.285f, 0.25f, 0.26f}, hair, 12, 8); break;
    default: m.Sphere(At({0, hy + 0.06f, 0.05f}), {0.27f, 0.22f, 0.24f}, hair, 12, 8); break;
    }
    switch (cs.hair) {
    case Hair::TwinTails:
        for (int side = -1; side <= 1; side += 2) {
            m.Sphere(Rot({side * 0.33f, hy - 0.12f, 0.08f}, 0, 0, side * 12.0f), {0.085f, 0.24f, 0.085f}, hair, 8, 6);
            m.Sphere(At({side * 0.27f, hy + 0.08f, 0.08f}), {0.05f, 0.05f, 0.05f}, accent, 6, 4);
        }
        break;
    case Hair::Long: m.Box(At({0, hy - 0.25f, 0.15f}), {0.46f, 0.56f, 0.1f}, hair); break;
    case Hair::Buns:
        for (int side = -1; side <= 1; side += 2) {
            m.Sphere(At({side * 0.2f, hy + 0.2f, 0.04f}), {0.1f, 0.1f, 0.1f}, hair, 8, 6);
            m.Cylinder(Rot({side * 0.2f, hy + 0.2f, 0.04f}, 90, 0, 0), 0.105f, 0.105f, 0.03f, accent, 8);
        }
        break;
    case Hair::Ponytail:
        m.Sphere(Rot({0, hy - 0.1f, 0.3f}, 20, 0, 0), {0.09f, 0.26f, 0.09f}, hair, 8, 6);
        m.Sphere(At({0, hy + 0.08f, 0.27f}), {0.05f, 0.05f, 0.05f}, accent, 6, 4);
        break;
    default: break;
    }
    // Headgear.
    switch (cs.hat) {
    case Hat::Witch: WitchHat(m, hy + 0.18f, hatMat, accent, row == 12 ? m.Mat(Hex(0x202020)) : -1); break;
    case Hat::Mitre:
        m.Cylinder(At({0, hy + 0.16f, 0.02f}), 0.2f, 0.13f, 0.36f, hatMat, 10);
        m.Box(At({0, hy + 0.34f, -0.16f}), {0.05f, 0.2f, 0.02f}, accent);
        m.Box(At({0, hy + 0.37f, -0.16f}), {0.14f, 0.05f, 0.02f}, accent);
        break;
    case Hat::Pumpkin:
        m.Sphere(At({0, hy + 0.22f, 0.02f}), {0.29f, 0.15f, 0.27f}, hatMat, 12, 6);
        m.Cylinder(At({0, hy + 0.34f, 0.02f}), 0.04f, 0.03f, 0.1f, m.Mat(Hex(0x30A030)), 6);
        break;
    case Hat::MouseEars:
        for (int side = -1; side <= 1; side += 2) {
            m.Cylinder(Rot({side * 0.22f, hy + 0.22f, 0.04f}, 90, 0, 0), 0.13f, 0.13f, 0.03f, hatMat, 12);
            m.Cylinder(Rot({side * 0.22f, hy + 0.22f, 0.035f}, 90, 0, 0), 0.08f, 0.08f, 0.005f, m.Mat(Hex(0xF0A0B0)),
                       10);
        }
        break;
    case Hat::WolfEars:
    case Hat::CatEars: {
        float r = cs.hat == Hat::WolfEars ? 0.08f : 0.07f, h = cs.hat == Hat::WolfEars ? 0.2f : 0.14f;
        for (int side = -1; side <= 1; side += 2)
            m.Cylinder(Rot({side * 0.15f, hy + 0.19f, 0.03f}, 0, 0, -side * 18.0f), r, 0.0f, h, hatMat, 4);
        break;
    }
    case Hat::BunnyEars:
        for (int side = -1; side <= 1; side += 2) {
            Xform at = Rot({side * 0.1f, hy + 0.42f, 0.03f}, 0, 0, -side * 10.0f);
            m.Sphere(at, {0.055f, 0.24f, 0.03f}, hatMat, 8, 6);
            m.Sphere(Then(At({0, 0, -0.012f}), at), {0.03f, 0.19f, 0.025f}, m.Mat(Hex(0xFFC0D0)), 6, 5);
        }
        break;
    case Hat::Circlet:
        m.Cylinder(At({0, hy + 0.08f, 0.0f}), 0.258f, 0.258f, 0.04f, accent, 12, false);
        m.Sphere(At({0, hy + 0.1f, -0.255f}), {0.035f, 0.035f, 0.02f}, m.Mat(team ? Hex(0x40A0FF) : Hex(0xFF3040)), 6,
                 4);
        break;
    case Hat::Ribbon:
        for (int side = -1; side <= 1; side += 2)
            m.Sphere(Rot({side * 0.1f, hy + 0.26f, 0.05f}, 0, 0, side * 25.0f), {0.1f, 0.06f, 0.04f}, hatMat, 8, 5);
        m.Sphere(At({0, hy + 0.25f, 0.04f}), {0.04f, 0.04f, 0.04f}, hatMat, 6, 4);
        break;
    case Hat::None: break;
    }
    if (row == 5) { // the vampire's cape and high collar
        int lining = m.Mat(Hex(0xC01020));
        int black = m.Mat(Hex(0x181018));
        m.Cylinder(At({0, 0.12f, 0.05f}), 0.38f, 0.22f, 0.8f, black, 12, false);
        m.Box(Rot({0, 0.98f, 0.08f}, -20, 0, 0), {0.42f, 0.22f, 0.03f}, lining);
    }
    Weapon(m, cs.weapon, hand, accent, team);
    return m;
}

void BatWing(Mesh& m, int side, Vec3 root, float span, float height, int mat)
{
    Vec3 tip{root.x + side * span, root.y + height * 0.6f, root.z + 0.1f};
    Vec3 low1{root.x + side * span * 0.7f, root.y - height * 0.4f, root.z + 0.1f};
    Vec3 low2{root.x + side * span * 0.35f, root.y - height * 0.2f, root.z + 0.08f};
    Vec3 top{root.x + side * span * 0.5f, root.y + height * 0.8f, root.z + 0.06f};
    m.Tri(root, top, tip, mat);
    m.Tri(root, tip, low1, mat);
    m.Tri(root, low1, low2, mat);
    m.Cylinder(Rot(root, 0, 0, -side * 60.0f), 0.025f, 0.015f, span * 0.62f, mat, 5);
}

Mesh BuildDemon()
{
    Mesh m;
    int red = m.Mat(Hex(0xA01818));
    int darkRed = m.Mat(Hex(0x601010));
    int black = m.Mat(Hex(0x201020));
    int horn = m.Mat(Hex(0xE8E0C0));
    int wing = m.Mat(Hex(0x402048));
    int gold = m.Mat(Hex(0xF0C030));
    int face = m.TexMat("demon");
    for (int side = -1; side <= 1; side += 2) {
        m.Cylinder(At({side * 0.16f, 0.1f, 0}), 0.09f, 0.11f, 0.55f, darkRed, 8);
        m.Box(At({side * 0.16f, 0.05f, -0.06f}), {0.16f, 0.1f, 0.3f}, black); // hooves
    }
    m.Box(At({0, 0.72f, 0}), {0.52f, 0.24f, 0.3f}, black); // loincloth and belt
    m.Box(At({0, 1.05f, 0}), {0.6f, 0.48f, 0.34f}, red);
    m.Box(At({0, 0.85f, -0.02f}), {0.62f, 0.06f, 0.36f}, gold);
    Vec3 hand{};
    for (int side = -1; side <= 1; side += 2) {
        Vec3 sh{side * 0.36f, 1.22f, 0};
        m.Sphere(At(sh), {0.13f, 0.12f, 0.13f}, red, 8, 5);
        Xform arm = Down(sh, side * 20.0f);
        m.Cylinder(arm, 0.08f, 0.07f, 0.5f, red, 8);
        Vec3 h = arm.Point({0, 0.52f, 0});
        m.Sphere(At(h), {0.08f, 0.08f, 0.08f}, darkRed, 6, 4);
        if (side > 0)
            hand = h;
        BatWing(m, side, {side * 0.15f, 1.25f, 0.18f}, 0.8f, 0.7f, wing);
    }
    m.FaceSphere(At({0, 1.5f, 0}), {0.26f, 0.26f, 0.24f}, red, face, 12, 8);
    for (int side = -1; side <= 1; side += 2) {
        Xform h1 = Rot({side * 0.17f, 1.66f, 0.02f}, 0, 0, -side * 40.0f);
        m.Cylinder(h1, 0.07f, 0.05f, 0.18f, horn, 6);
        m.Cylinder(Then(Rot({0, 0.17f, 0}, 0, 0, side * 45.0f), h1), 0.05f, 0.0f, 0.22f, horn, 6);
    }
    // Tail with an arrow tip.
    Xform tail = Rot({0, 0.8f, 0.15f}, 110, 0, 0);
    m.Cylinder(tail, 0.04f, 0.03f, 0.6f, darkRed, 6);
    m.Cylinder(Then(At({0, 0.6f, 0}), tail), 0.09f, 0.0f, 0.14f, black, 4);
    // Trident.
    m.Cylinder(At({hand.x, 0.1f, hand.z - 0.06f}), 0.03f, 0.03f, 1.75f, black, 6);
    m.Box(At({hand.x, 1.86f, hand.z - 0.06f}), {0.3f, 0.04f, 0.04f}, gold);
    for (int k = -1; k <= 1; ++k)
        m.Cylinder(At({hand.x + k * 0.13f, 1.87f, hand.z - 0.06f}), 0.03f, 0.0f, k ? 0.18f : 0.25f, gold, 4);
    return m;
}

Mesh BuildEvilEye()
{
    Mesh m;
    int eye = m.TexMat("eye");
    int white = m.Mat(Hex(0xF4F0E8));
    int lid = m.Mat(Hex(0x602070));
    int tentacle = m.Mat(Hex(0x8A3A9A));
    int tip = m.Mat(Hex(0xE070C0));
    m.FaceSphere(At({0, 1.15f, 0}), {0.55f, 0.55f, 0.55f}, white, eye, 16, 10);
    // Heavy eyelids above and below, leaving the iris open.
    m.Sphere(Rot({0, 1.34f, 0.05f}, -15, 0, 0), {0.6f, 0.3f, 0.58f}, lid, 14, 6);
    m.Sphere(Rot({0, 0.92f, 0.08f}, 10, 0, 0), {0.58f, 0.25f, 0.55f}, lid, 14, 6);
    for (int side = -1; side <= 1; side += 2)
        BatWing(m, side, {side * 0.45f, 1.3f, 0.15f}, 0.5f, 0.5f, lid);
    for (int k = 0; k < 6; ++k) {
        float a = k * 60.0f * kPi / 180;
        Vec3 root{std::cos(a) * 0.25f, 0.75f, std::sin(a) * 0.25f};
        Xform seg1 = Rot(root, 180 + std::sin(a) * 20, 0, std::cos(a) * 20);
        m.Cylinder(seg1, 0.08f, 0.05f, 0.42f, tentacle, 6);
        Vec3 knee = seg1.Point({0, 0.42f, 0});
        Xform seg2 = Rot(knee, 180 - std::sin(a) * 25, 0, -std::cos(a) * 25);
        m.Cylinder(seg2, 0.05f, 0.01f, knee.y / std::cos(25 * kPi / 180), tip, 6);
    }
    return m;
}

Mesh BuildPumpkin()
{
    Mesh m;
    int face = m.TexMat("pumpkin");
    int orange = m.Mat(Hex(0xE07010));
    int rib = m.Mat(Hex(0xC05A08));
    int cloak = m.Mat(Hex(0x3A1850));
    int cloakIn = m.Mat(Hex(0x20102C));
    int glove = m.Mat(Hex(0xF0F0F0));
    int stem = m.Mat(Hex(0x2E8A2E));
    int steel = m.Mat(Hex(0xC8CCD8));
    int wood = m.Mat(Hex(0x5A3A18));
    m.Cylinder(At({0, 0.0f, 0}), 0.42f, 0.2f, 0.98f, cloak, 12);
    m.Cylinder(At({0, 0.0f, 0}), 0.43f, 0.4f, 0.08f, cloakIn, 12, false);
    m.Box(At({0, 0.98f, 0}), {0.5f, 0.12f, 0.36f}, cloakIn); // collar
    Vec3 hand{};
    for (int side = -1; side <= 1; side += 2) {
        Vec3 sh{side * 0.22f, 0.9f, 0};
        Xform arm = Rot(sh, -30, 0, 180 + side * 25.0f);
        m.Cylinder(arm, 0.09f, 0.11f, 0.38f, cloak, 8);
        Vec3 h = arm.Point({0, 0.42f, 0});
        m.Sphere(At(h), {0.07f, 0.07f, 0.07f}, glove, 6, 4);
        if (side > 0)
            hand = h;
    }
    m.FaceSphere(At({0, 1.3f, 0}), {0.45f, 0.36f, 0.42f}, orange, face, 14, 8);
    for (int k = 0; k < 4; ++k)
        m.Sphere(Rot({0, 1.3f, 0}, 0, 45.0f * k + 22.5f, 0), {0.46f, 0.34f, 0.06f}, rib, 12, 6);
    m.Cylinder(Rot({0, 1.62f, 0}, 15, 0, 0), 0.05f, 0.035f, 0.16f, stem, 6);
    // Scythe.
    m.Cylinder(At({hand.x, 0.05f, hand.z}), 0.03f, 0.03f, 1.65f, wood, 6);
    m.Tri({hand.x, 1.7f, hand.z - 0.02f}, {hand.x, 1.58f, hand.z - 0.02f}, {hand.x - 0.55f, 1.45f, hand.z - 0.02f},
          steel);
    return m;
}

Mesh BuildUnicorn()
{
    Mesh m;
    int white = m.Mat(Hex(0xF6F4FA));
    int shade = m.Mat(Hex(0xD8D4E8));
    int gold = m.Mat(Hex(0xF0C030));
    int mane = m.Mat(Hex(0xC060D0));
    int mane2 = m.Mat(Hex(0x60A0F0));
    int eye = m.Mat(Hex(0x302060));
    m.Sphere(At({0, 0.85f, 0.12f}), {0.27f, 0.28f, 0.55f}, white, 12, 8);
    for (int sx = -1; sx <= 1; sx += 2)
        for (int sz = -1; sz <= 1; sz += 2) {
            float z = sz < 0 ? -0.22f : 0.45f;
            m.Cylinder(At({sx * 0.15f, 0.08f, z}), 0.06f, 0.08f, 0.7f, sz < 0 ? white : shade, 8);
            m.Cylinder(At({sx * 0.15f, 0.0f, z}), 0.08f, 0.07f, 0.1f, gold, 8);
        }
    // Neck leaning forward, head, horn pointing forward and up.
    Xform neck = Rot({0, 0.95f, -0.3f}, -35, 0, 0);
    m.Cylinder(neck, 0.16f, 0.12f, 0.55f, white, 10);
    Vec3 headAt = neck.Point({0, 0.6f, -0.05f});
    Xform head = Rot(headAt, 30, 0, 0);
    m.Sphere(head, {0.14f, 0.15f, 0.3f}, white, 10, 6);
    m.Sphere(Then(At({0, -0.04f, -0.24f}), head), {0.1f, 0.1f, 0.1f}, shade, 8, 5); // muzzle
    for (int side = -1; side <= 1; side += 2) {
        m.Sphere(Then(At({side * 0.12f, 0.05f, -0.05f}), head), {0.03f, 0.04f, 0.04f}, eye, 6, 4);
        m.Cylinder(Then(Rot({side * 0.07f, 0.12f, 0.1f}, 0, 0, -side * 15.0f), head), 0.04f, 0.0f, 0.13f, white, 4);
    }
    m.Cylinder(Then(Rot({0, 0.12f, -0.08f}, -40, 0, 0), head), 0.045f, 0.0f, 0.42f, gold, 8);
    // Mane down the neck, tail.
    for (int k = 0; k < 5; ++k)
        m.Sphere(Then(At({0, 0.12f, 0.14f}), Then(At({0, 0.1f + k * 0.12f, 0}), neck)), {0.05f, 0.09f, 0.08f},
                 k % 2 ? mane2 : mane, 6, 4);
    Xform tail = Rot({0, 0.95f, 0.62f}, 150, 0, 0);
    m.Cylinder(tail, 0.08f, 0.03f, 0.6f, mane, 8);
    m.Cylinder(Then(Rot({0, 0, 0.04f}, 10, 0, 0), tail), 0.06f, 0.02f, 0.5f, mane2, 8);
    return m;
}

Mesh BuildDragon()
{
    Mesh m;
    int scales = m.TexMat("dragon");
    int green = m.Mat(Hex(0x2C8A3A));
    int belly = m.Mat(Hex(0xE8D070));
    int wing = m.Mat(Hex(0x8A2A20));
    int horn = m.Mat(Hex(0xF0EAD0));
    int eye = m.Mat(Hex(0xFFE020));
    m.Sphere(At({0, 0.8f, 0.15f}), {0.42f, 0.45f, 0.55f}, scales, 12, 8);
    m.Sphere(At({0, 0.75f, -0.05f}), {0.3f, 0.38f, 0.4f}, belly, 10, 6);
    for (int sx = -1; sx <= 1; sx += 2)
        for (int sz = -1; sz <= 1; sz += 2) {
            float z = sz < 0 ? -0.15f : 0.45f;
            m.Cylinder(At({sx * 0.3f, 0.0f, z}), 0.13f, 0.15f, 0.55f, green, 8);
            for (int k = -1; k <= 1; ++k)
                m.Cylinder(Rot({sx * 0.3f + k * 0.07f, 0.03f, z - 0.12f}, -90, 0, 0), 0.03f, 0.0f, 0.1f, horn, 4);
        }
    // Neck rising forward, head with snout, horns and eyes.
    Xform neck = Rot({0, 1.05f, -0.2f}, -18, 0, 0);
    m.Cylinder(neck, 0.2f, 0.14f, 0.62f, green, 10);
    Vec3 headAt = neck.Point({0, 0.7f, -0.05f});
    m.Sphere(At(headAt), {0.22f, 0.2f, 0.26f}, scales, 10, 6);
    m.Box(At(headAt + Vec3{0, -0.05f, -0.27f}), {0.24f, 0.16f, 0.3f}, green);
    m.Box(At(headAt + Vec3{0, -0.13f, -0.27f}), {0.22f, 0.04f, 0.28f}, belly);
    for (int side = -1; side <= 1; side += 2) {
        m.Sphere(At(headAt + Vec3{side * 0.15f, 0.06f, -0.14f}), {0.05f, 0.05f, 0.05f}, eye, 6, 4);
        m.Cylinder(Rot(headAt + Vec3{side * 0.12f, 0.12f, 0.08f}, 50, 0, -side * 15.0f), 0.05f, 0.0f, 0.3f, horn, 6);
    }
    // Spines, tail and wings.
    for (int k = 0; k < 4; ++k)
        m.Cylinder(At({0, 1.18f - k * 0.04f, 0.0f + k * 0.2f}), 0.06f, 0.0f, 0.16f, wing, 4);
    Xform tail = Rot({0, 0.6f, 0.55f}, 125, 0, 0);
    m.Cylinder(tail, 0.2f, 0.04f, 0.5f, green, 8);
    m.Cylinder(Then(At({0, 0.5f, 0}), tail), 0.1f, 0.0f, 0.15f, wing, 4);
    for (int side = -1; side <= 1; side += 2) {
        Vec3 root{side * 0.3f, 1.15f, 0.15f};
        Vec3 elbow{side * 0.65f, 1.75f, 0.3f};
        Vec3 tip{side * 0.95f, 1.6f, 0.5f};
        m.Cylinder(Rot(root, 0, 0, -side * 30.0f), 0.05f, 0.03f, 0.72f, green, 5);
        m.Tri(root, elbow, tip, wing);
        m.Tri(root, tip, {side * 0.8f, 1.0f, 0.45f}, wing);
        m.Tri(root, {side * 0.8f, 1.0f, 0.45f}, {side * 0.45f, 0.85f, 0.3f}, wing);
    }
    return m;
}

Mesh BuildSpider()
{
    Mesh m;
    int body = m.Mat(Hex(0x2A2030));
    int hair = m.Mat(Hex(0x4A3A50));
    int mark = m.Mat(Hex(0xD02020));
    int eye = m.Mat(Hex(0xFF3030));
    int fang = m.Mat(Hex(0xF0E8D0));
    m.Sphere(At({0, 0.75f, 0.35f}), {0.45f, 0.4f, 0.48f}, body, 12, 8);
    m.Sphere(At({0, 1.05f, 0.45f}), {0.16f, 0.08f, 0.28f}, mark, 8, 5); // red mark on the back
    m.Sphere(At({0, 0.6f, -0.2f}), {0.28f, 0.24f, 0.3f}, hair, 10, 6);
    for (int k = 0; k < 4; ++k)
        for (int side = -1; side <= 1; side += 2) {
            float z = -0.35f + k * 0.2f;
            Vec3 hip{side * 0.22f, 0.6f, z};
            Vec3 knee{side * 0.65f, 1.05f - std::abs(k - 1.5f) * 0.05f, z + (k - 1.5f) * 0.25f};
            Vec3 foot{side * 0.95f, 0.02f, z + (k - 1.5f) * 0.3f};
            auto limb = [&](Vec3 a, Vec3 b, float r0, float r1) {
                Vec3 d = b - a;
                float len = std::sqrt(Dot(d, d));
                Vec3 y = d * (1 / len);
                Vec3 x = Normalise(Cross(y, {0, 0, 1}));
                if (std::abs(y.z) > 0.9f)
                    x = Normalise(Cross(y, {1, 0, 0}));
                Vec3 z2 = Cross(x, y);
                Xform at;
                at.r[0] = x;
                at.r[1] = y;
                at.r[2] = z2;
                at.t = a;
                m.Cylinder(at, r0, r1, len, body, 6);
            };
            limb(hip, knee, 0.06f, 0.05f);
            limb(knee, foot, 0.05f, 0.015f);
            m.Sphere(At(knee), {0.06f, 0.06f, 0.06f}, hair, 6, 4);
        }
    for (int k = 0; k < 4; ++k) {
        float x = (k % 2 ? 1 : -1) * (k < 2 ? 0.08f : 0.16f);
        m.Sphere(At({x, 0.72f - (k < 2 ? 0 : 0.05f), -0.46f}), {0.045f, 0.045f, 0.04f}, eye, 6, 4);
    }
    for (int side = -1; side <= 1; side += 2)
        m.Cylinder(Rot({side * 0.08f, 0.45f, -0.42f}, 180 + 20, 0, 0), 0.04f, 0.0f, 0.2f, fang, 5);
    return m;
}

Mesh BuildOrc()
{
    Mesh m;
    int skin = m.Mat(Hex(0x6A9A3A));
    int skinDark = m.Mat(Hex(0x4A7A2A));
    int leather = m.Mat(Hex(0x6A4220));
    int iron = m.Mat(Hex(0x707880));
    int tusk = m.Mat(Hex(0xF4EED8));
    int eye = m.Mat(Hex(0xFF2020));
    int hair = m.Mat(Hex(0x201810));
    int chest = m.TexMat("orc");
    for (int side = -1; side <= 1; side += 2) {
        m.Cylinder(At({side * 0.2f, 0.1f, 0}), 0.12f, 0.14f, 0.6f, skinDark, 8);
        m.Box(At({side * 0.2f, 0.06f, -0.05f}), {0.22f, 0.12f, 0.34f}, leather);
    }
    m.Box(At({0, 0.78f, 0}), {0.6f, 0.3f, 0.38f}, leather); // loincloth
    m.Box(At({0, 0.76f, -0.2f}), {0.26f, 0.36f, 0.03f}, leather);
    m.Box(At({0, 1.2f, 0}), {0.72f, 0.6f, 0.42f}, skin, chest);
    m.Box(At({0, 0.95f, -0.01f}), {0.74f, 0.08f, 0.44f}, iron);            // belt
    m.Box(Rot({0, 1.2f, -0.01f}, 0, 0, 40), {0.1f, 0.9f, 0.44f}, leather); // strap
    Vec3 hand{};
    for (int side = -1; side <= 1; side += 2) {
        Vec3 sh{side * 0.44f, 1.4f, 0};
        m.Sphere(At(sh), {0.17f, 0.15f, 0.17f}, iron, 8, 5);
        Xform arm = Down(sh, side * 18.0f);
        m.Cylinder(arm, 0.11f, 0.1f, 0.6f, skin, 8);
        Vec3 h = arm.Point({0, 0.62f, 0});
        m.Sphere(At(h), {0.11f, 0.11f, 0.11f}, skinDark, 6, 4);
        if (side > 0)
            hand = h;
    }
    m.Sphere(At({0, 1.72f, -0.04f}), {0.24f, 0.25f, 0.24f}, skin, 10, 7);
    m.Box(At({0, 1.62f, -0.2f}), {0.26f, 0.14f, 0.12f}, skinDark); // jaw
    for (int side = -1; side <= 1; side += 2) {
        m.Cylinder(At({side * 0.09f, 1.62f, -0.27f}), 0.035f, 0.0f, 0.14f, tusk, 5);
        m.Sphere(At({side * 0.09f, 1.77f, -0.25f}), {0.04f, 0.03f, 0.03f}, eye, 6, 4);
        m.Cylinder(Rot({side * 0.23f, 1.76f, -0.02f}, 0, 0, -side * 70.0f), 0.06f, 0.0f, 0.14f, skin, 4); // ears
    }
    m.Box(At({0, 1.95f, 0.0f}), {0.06f, 0.1f, 0.36f}, hair); // crest
    // Club.
    Xform club = Rot(hand, -20, 0, 0);
    m.Cylinder(Then(At({0, -0.1f, 0}), club), 0.04f, 0.11f, 0.75f, leather, 8);
    for (int k = 0; k < 3; ++k)
        m.Cylinder(Then(Rot({0, 0.45f + k * 0.1f, 0}, 0, 0, 90.0f), club), 0.025f, 0.0f, 0.14f, iron, 4);
    return m;
}

} // namespace

Mesh BuildModel(int row)
{
    switch (row) {
    case 18: return BuildDemon();
    case 19: return BuildEvilEye();
    case 20: return BuildPumpkin();
    case 21: return BuildUnicorn();
    case 22: return BuildDragon();
    case 23: return BuildSpider();
    case 24: return BuildOrc();
    default: return BuildCharacter(row);
    }
}

} // namespace modelgen
