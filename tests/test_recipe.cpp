// Recipe codes: every value of every parameter survives encode and decode, chains keep their
// seeds (written or continued), and every kind of bad code is refused with one line that names
// what is wrong.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/VornTextures.h"
#include "export/TileExport.h"
#include "gen/Generator.h"
#include "gen/Recipe.h"

namespace vorn {
namespace {

TRecipe OneLink(const TGenSettings& settings, std::uint32_t seed) {
    return NextRecipe(nullptr, settings, seed, settings.size, CanvasColorOfRgb(settings.bgColor));
}

void ExpectSameRecipe(const TRecipe& decoded, const TRecipe& original) {
    EXPECT_EQ(decoded.size, original.size);
    EXPECT_EQ(decoded.background, original.background);
    ASSERT_EQ(decoded.links.size(), original.links.size());
    for (std::size_t i = 0; i < decoded.links.size(); ++i) {
        EXPECT_EQ(decoded.links[i].seed, original.links[i].seed) << "link " << i + 1;
        EXPECT_TRUE(SameSettings(decoded.links[i].settings, original.links[i].settings)) << "link " << i + 1;
    }
}

// The values worth trying: every one, except for the colour, where each hex digit in each place.
std::vector<int> ValuesOf(const TGenParam& param) {
    std::vector<int> values;
    if (param.kind == pkColor) {
        for (int digit = 0; digit < 16; ++digit) {
            for (int place = 0; place < 6; ++place) values.push_back(digit << (4 * place) | 0x0080FF);
        }
        values.push_back(0);
        values.push_back(0xFFFFFF);
        return values;
    }
    for (int v = param.min; v <= param.max; v = param.kind == pkSize ? v * 2 : v + 1) values.push_back(v);
    return values;
}

TEST(Recipe, EveryValueOfEveryParameterSurvivesTheRoundTrip) {
    for (const TGenParam& param : GenParams) {
        for (const int value : ValuesOf(param)) {
            SCOPED_TRACE(std::string(param.name) + "=" + std::to_string(value));
            TGenSettings settings;
            settings.SetValue(param.id, value);
            const TRecipe recipe = OneLink(settings, 0x9E3779B9u);
            const std::string code = EncodeRecipe(recipe);
            // Only values other than the default are written.
            EXPECT_EQ(code.find(std::string(param.name) + "=") != std::string::npos,
                      value != param.defaultValue)
                << code;
            const TRecipeDecoding decoded = DecodeRecipe(code);
            ASSERT_TRUE(decoded.ok()) << code << ": " << decoded.error;
            ExpectSameRecipe(decoded.recipe, recipe);
        }
    }
    EXPECT_EQ(EncodeRecipe(OneLink(TGenSettings{}, 42)), "P1.seed=0000002A");
}

// None is written by its name like every fill; the codes of the older fills read as they did.
// A chain is transparent only when every link has no fill.
TEST(Recipe, BgFillNoneByNameAndOnlyAChainOfNoneIsTransparent) {
    TGenSettings none;
    none.bgFill = BGFillNone;
    const TRecipe recipe = OneLink(none, 42);
    EXPECT_EQ(EncodeRecipe(recipe), "P1.seed=0000002A.bg-fill=none");
    EXPECT_TRUE(TransparentTile(recipe));
    EXPECT_EQ(DecodeRecipe("P1.seed=0000002A.bg-fill=v-grad").recipe.links.at(0).settings.bgFill, 2);
    TGenSettings keep = none;
    keep.image = 1;
    TRecipe chain = NextRecipe(&recipe, keep, 43, recipe.size, recipe.background);
    EXPECT_TRUE(TransparentTile(chain));
    keep.bgFill = 0;
    chain = NextRecipe(&chain, keep, 44, recipe.size, recipe.background);
    EXPECT_FALSE(TransparentTile(chain));
}

TEST(Recipe, KeepChainsGrowFromTheLastClearAndKeepItsColour) {
    TGenSettings clear;
    clear.steps = 0;
    TGenSettings keep = clear;
    keep.image = 1;
    keep.effect = 7;
    const TCanvasColor red = CanvasColorOfRgb(0xFF0000), green = CanvasColorOfRgb(0x00FF00);

    const TRecipe first = NextRecipe(nullptr, clear, 5, 256, red);
    const std::uint32_t continued = SeedAfter(clear, 5);
    EXPECT_NE(continued, 5u);
    const TRecipe second = NextRecipe(&first, keep, continued, 512, green);
    const TRecipe third = NextRecipe(&second, keep, 0x12345678u, 64, green); // another sequence
    ASSERT_EQ(third.links.size(), 3u);
    EXPECT_EQ(third.size, 64);
    EXPECT_EQ(third.background, red) << "the colour is the one the Clear link painted";

    const std::string code = EncodeRecipe(third);
    EXPECT_EQ(code, "P1.size=64.bg-color=FF0000.seed=00000005.steps=0"
                    "+image=keep.effect=shift.steps=0+seed=12345678.image=keep.effect=shift.steps=0");
    const TRecipeDecoding decoded = DecodeRecipe(code);
    ASSERT_TRUE(decoded.ok()) << decoded.error;
    ExpectSameRecipe(decoded.recipe, third);
    EXPECT_EQ(decoded.recipe.links[1].seed, continued);

    // A Clear generation starts over; Keep over the transparent start tile is a chain of one.
    EXPECT_EQ(NextRecipe(&third, clear, 9, 256, green).links.size(), 1u);
    EXPECT_EQ(NextRecipe(nullptr, keep, 9, 256, green).links.size(), 1u);

    TRecipe chain = first;
    for (std::size_t i = 1; i < MaxRecipeLinks; ++i) chain = NextRecipe(&chain, keep, 1, 256, red);
    EXPECT_EQ(chain.links.size(), MaxRecipeLinks);
    EXPECT_FALSE(EncodeRecipe(chain).empty());
    chain = NextRecipe(&chain, keep, 1, 256, red);
    EXPECT_TRUE(chain.tooLong);
    EXPECT_EQ(EncodeRecipe(chain), "");
    EXPECT_TRUE(NextRecipe(&chain, keep, 1, 256, red).tooLong);
    EXPECT_FALSE(NextRecipe(&chain, clear, 1, 256, red).tooLong);
    EXPECT_FALSE(chain.mixedBrushes);

    // A chain drawn with two brush sets has no code and says why, as long as Keep goes on.
    const TRecipe mixed = NextRecipe(&first, keep, 1, 256, red, 0x12345678u);
    EXPECT_TRUE(mixed.tooLong && mixed.mixedBrushes);
    EXPECT_TRUE(NextRecipe(&mixed, keep, 1, 256, red, 0x12345678u).mixedBrushes);
    EXPECT_FALSE(NextRecipe(&mixed, clear, 1, 256, red, 0x12345678u).tooLong);
}

std::string Chain(std::size_t links) {
    std::string code = "P1.seed=00000001.image=keep.steps=0";
    for (std::size_t i = 1; i < links; ++i) code += "+seed=00000001.image=keep.steps=0";
    return code;
}

TEST(Recipe, BadCodesAreRefusedWithOneLineNamingTheFault) {
    const struct {
        std::string code;
        std::string names; // a part of the message
    } cases[] = {
        {"", "truncated"},
        {"P1", "truncated"},
        {"P1.", "truncated"},
        {"P1.seed=0000002A.", "truncated"},
        {"P1.seed=0000002A+", "truncated"},
        {"P1+image=keep", "truncated"},
        {"P1.seed=0000", "truncated: seed=0000 has 4 of 8 hex digits"},
        {"P1.seed=", "truncated: field 'seed' has no value"},
        {"P1.seed=0000002A.steps", "truncated: field 'steps' has no value"},
        {"P1.bg-color=FF80.seed=0000002A", "truncated: bg-color=FF80 has 4 of 6"},
        {"P2.seed=0000002A", "unknown version 'P2'"},
        {"P1.seed=0000002A.palette=102030",
         "field 'palette' in link 1: a palette has 2 to 16 colours, not 1"},
        {"P1.seed=0000002A.palette=102030-4050GG", "field 'palette' in link 1: colour 2 '4050GG'"},
        {"P1.seed=0000002A.palette=102030-405060.palette=102030-405060", "repeated field 'palette'"},
        {"p1.seed=0000002A", "unknown version 'p1'"},
        {"P1.seed=0000002A.colour=FF0000", "unknown field 'colour'"},
        {"P1.seed=0000002A.Effect=shift", "unknown field 'Effect'"},
        {"P1.seed=0000002A.effect=shift.effect=glow", "repeated field 'effect' in link 1"},
        {"P1.seed=0000002A+seed=0000002B.seed=0000002C.image=keep", "repeated field 'seed' in link 2"},
        {"P1.seed=0000002A.steps=2049", "steps=2049 is out of range (a whole number from 0 to 2048)"},
        {"P1.seed=0000002A.turn-freq=0", "turn-freq=0 is out of range"},
        {"P1.seed=0000002A.steps=-1", "steps=-1 is out of range"},
        {"P1.size=384.seed=0000002A", "size=384 is out of range (64, 128, 256, 512, 1024, 2048 or 4096)"},
        {"P1.seed=0000002A.effect=Shift", "effect=Shift is out of range (blend|add|"},
        {"P1.seed=0000G02A", "seed=0000G02A: bad hex digit 'G'"},
        {"P1.bg-color=12345X.seed=0000002A", "bg-color=12345X: bad hex digit 'X'"},
        {"P1.seed=0000002A0", "trailing characters '0' after seed=0000002A"},
        {"P1.bg-color=0080FF0.seed=0000002A", "trailing characters '0' after bg-color=0080FF"},
        {"P1.seed=0000002A.steps=12x", "trailing characters 'x' after steps=12"},
        {"P1.seed=0000002A .image=keep", "character 0x20 at position 17"},
        {"P1.seed=0000002A\n", "character 0x0A at position 17"},
        {"P1.effect=shift", "link 1 has no seed"},
        {"P1.seed=0000002A+effect=add", "link 2 is not image=keep"},
        {"P1.seed=0000002A+image=keep.size=512", "'size' in link 2: it applies to the whole code"},
        {Chain(MaxRecipeLinks + 1), "the chain is longer than 64 links"},
        // Pieces of a crafted code are quoted to 40 characters at most.
        {"P1.seed=0000002A." + std::string(5000, 'x') + "=1",
         "unknown field '" + std::string(37, 'x') + "...'"},
        {"P1.seed=0000002A.steps=12" + std::string(5000, 'y'),
         "trailing characters '" + std::string(37, 'y') + "...'"},
        {std::string(5000, 'P') + ".seed=0000002A", "unknown version '" + std::string(37, 'P') + "...'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        const TRecipeDecoding decoded = DecodeRecipe(c.code);
        EXPECT_FALSE(decoded.ok());
        EXPECT_NE(decoded.error.find(c.names), std::string::npos) << decoded.error;
        EXPECT_EQ(decoded.error.find('\n'), std::string::npos) << "one line";
        EXPECT_LT(decoded.error.size(), 200u) << "a short line";
        EXPECT_TRUE(decoded.recipe.links.empty());
    }
    const TRecipeDecoding longest = DecodeRecipe(Chain(MaxRecipeLinks));
    ASSERT_TRUE(longest.ok()) << longest.error;
    EXPECT_EQ(longest.recipe.links.size(), MaxRecipeLinks);
}

// The output texture of generator, as the export reads it.
TBitmap32 Output(const TGenerator& generator) {
    TBitmap32 bitmap;
    EXPECT_TRUE(CopyToBitmap(*generator.Textures, TGenerator::GetIndex(generator.TextureSize),
                             generator.TextureSize, bitmap));
    return bitmap;
}

// The generator, started on the built archive.
bool Started(TGenerator& generator) {
    generator.ComponentsInit();
    return generator.Startup(nullptr, PALLIMOR_BUILD_DIR "/vorn.dat").failure == TStartupFailure::None;
}

// A window-like session that changes settings, colour and size between generations: the
// recipe of its last texture, regenerated on a fresh generator, gives the same texels.
TEST(Recipe, RegeneratingASessionsRecipeGivesTheSameTexels) {
    TGenSettings session;
    TGenerator made(session);
    ASSERT_TRUE(Started(made));
    random::SetSeed(7);
    session.steps = 0;
    session.bgFill = 0;
    made.BackgroundColor = CanvasColorOfRgb(0xFF0000);
    std::uint32_t seed = random::Seed();
    made.FirstRender();
    TRecipe recipe = NextRecipe(nullptr, session, seed, made.TextureSize, made.BackgroundColor);
    const int effects[] = {7, 1}; // Shift, then Add, both drawn over
    for (const int effect : effects) {
        session.image = 1;
        session.effect = effect;
        made.BackgroundColor = CanvasColorOfRgb(0x00FF00); // read by no Keep generation
        made.TextureSize = 128;
        seed = random::Seed();
        made.Generate();
        recipe = NextRecipe(&recipe, session, seed, made.TextureSize, made.BackgroundColor);
    }
    const TBitmap32 expected = Output(made);

    const TRecipeDecoding decoded = DecodeRecipe(EncodeRecipe(recipe));
    ASSERT_TRUE(decoded.ok()) << decoded.error;
    ASSERT_EQ(decoded.recipe.links.size(), 3u);
    TGenSettings other;
    TGenerator again(other);
    ASSERT_TRUE(Started(again));
    RegenerateRecipe(again, decoded.recipe);
    EXPECT_EQ(again.TextureSettings().effect, 1) << "the last link's settings drew the texture";
    EXPECT_EQ(other.effect, TGenSettings().effect) << "the controls are left as they were";
    const TBitmap32 actual = Output(again);
    ASSERT_EQ(actual.Width(), 128);
    ASSERT_EQ(actual.Width(), expected.Width());
    EXPECT_EQ(std::memcmp(actual.Bits(), expected.Bits(), actual.Pitch() * 128), 0);
}

// The tiling travels in the code (only when it is not Mirror): a wrapped Keep chain drawn at 4096
// comes back byte for byte from its code, and the same chain with the tiling left out does not.
TEST(Recipe, TheTilingAndThePaletteTravelInTheCodeAndMakeTheSameLargeTexture) {
    TGenSettings session;
    TGenerator made(session);
    ASSERT_TRUE(Started(made));
    made.TextureSize = 4096;
    session.steps = 0;
    session.tiling = tmWrapX;
    random::SetSeed(11);
    std::uint32_t seed = random::Seed();
    made.FirstRender();
    TRecipe recipe = NextRecipe(nullptr, session, seed, made.TextureSize, made.BackgroundColor);
    session.image = 1;
    session.tiling = tmWrap; // a link of its own tiling and palette
    session.palette = {{0x3A1A0Eu, 0x863C17u, 0xDE9B63u}};
    seed = random::Seed();
    made.Generate();
    recipe = NextRecipe(&recipe, session, seed, made.TextureSize, made.BackgroundColor);
    const TBitmap32 expected = Output(made);

    const std::string code = EncodeRecipe(recipe);
    const std::size_t plus = code.find('+');
    ASSERT_NE(plus, std::string::npos) << code;
    EXPECT_NE(code.substr(0, plus).find(".tiling=wrap-x"), std::string::npos) << code;
    EXPECT_NE(code.substr(plus).find(".tiling=wrap"), std::string::npos) << code;
    EXPECT_EQ(code.substr(plus).find("wrap-x"), std::string::npos) << code;
    EXPECT_EQ(code.find(".palette="), code.rfind(".palette=")) << code;
    EXPECT_NE(code.substr(plus).find(".palette=3A1A0E-863C17-DE9B63"), std::string::npos) << code;
    const TRecipeDecoding decoded = DecodeRecipe(code);
    ASSERT_TRUE(decoded.ok()) << decoded.error;
    TGenSettings other;
    TGenerator again(other);
    ASSERT_TRUE(Started(again));
    ASSERT_TRUE(RegenerateRecipe(again, decoded.recipe));
    const TBitmap32 actual = Output(again);
    ASSERT_EQ(actual.Width(), 4096);
    ASSERT_EQ(expected.Width(), 4096);
    EXPECT_EQ(std::memcmp(actual.Bits(), expected.Bits(), actual.Pitch() * 4096), 0);

    // Without the palette it is another tile, which no kept tile of the first may stand for.
    TRecipe walk = decoded.recipe;
    walk.links.back().settings.palette = {};
    EXPECT_TRUE(SameTile(decoded.recipe, recipe));
    EXPECT_FALSE(SameTile(walk, recipe));
    ASSERT_TRUE(RegenerateRecipe(again, walk));
    EXPECT_NE(std::memcmp(Output(again).Bits(), expected.Bits(), actual.Pitch() * 4096), 0);

    TRecipe mirrored = decoded.recipe;
    for (TRecipeLink& link : mirrored.links) link.settings.tiling = tmMirror;
    ASSERT_TRUE(RegenerateRecipe(again, mirrored));
    EXPECT_NE(std::memcmp(Output(again).Bits(), expected.Bits(), actual.Pitch() * 4096), 0);
}

} // namespace
} // namespace vorn
