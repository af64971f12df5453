// The favourites file: what is added, renamed and removed is there after a restart, a line that
// is no recipe is moved aside, named once, while the others load; two lists on one file each see
// the other's changes, a file that cannot be read is left alone, and the user's comment lines
// stay where they were.
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <sstream>
#include <string>

#include "gen/Favourites.h"
#include "tests/support/TempDir.h"

namespace vorn {
namespace {

const char* const CodeA = "P1.seed=0000002A";
const char* const CodeB = "P1.size=128.seed=00000007.effect=add";
const char* const CodeC = "P1.seed=00000003";

std::string Contents(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(Favourites, ChangesSurviveARestart) {
    test::TempDir home;
    const std::string folder = home / "data/pallimor"; // made on the first save
    {
        TFavourites favourites(folder);
        std::string why;
        ASSERT_TRUE(favourites.Load(why)) << why; // no file yet
        EXPECT_TRUE(favourites.Items().empty());
        ASSERT_TRUE(favourites.Add({CodeA, "blue\nswirl "}, why)) << why;
        ASSERT_TRUE(favourites.Add({CodeB, ""}, why)) << why;
        ASSERT_TRUE(favourites.Add({CodeA, "again"}, why)) << why;
        ASSERT_TRUE(favourites.Rename(1, "  stripes", why)) << why;
        ASSERT_TRUE(favourites.Remove(2, why)) << why;
    }
    EXPECT_EQ(Contents(folder + "/" + FavouritesFileName),
              std::string("# Pallimor favourites: a recipe code a line, then its name\n") + CodeA +
                  " blue swirl\n" + CodeB + " stripes\n");
    TFavourites restarted(folder);
    std::string why;
    ASSERT_TRUE(restarted.Load(why)) << why;
    ASSERT_EQ(restarted.Items().size(), 2u);
    EXPECT_EQ(restarted.Items()[0].code, CodeA);
    EXPECT_EQ(restarted.Items()[0].name, "blue swirl");
    EXPECT_EQ(restarted.Items()[1].code, CodeB);
    EXPECT_EQ(restarted.Items()[1].name, "stripes");
    EXPECT_TRUE(restarted.NotRecipes().empty());
}

TEST(Favourites, ALineThatIsNoRecipeIsMovedAsideAndTheRestLoad) {
    test::TempDir folder;
    {
        std::ofstream file(folder / FavouritesFileName);
        file << "# mine\r\n" << CodeA << " first\r\n\nP1.seed=12345 broken\n" << CodeB << "\n";
    }
    TFavourites favourites(folder.path());
    std::string why;
    ASSERT_TRUE(favourites.Load(why)) << why;
    ASSERT_EQ(favourites.Items().size(), 2u);
    EXPECT_EQ(favourites.Items()[0].name, "first");
    EXPECT_EQ(favourites.Items()[1].code, CodeB);
    ASSERT_EQ(favourites.NotRecipes().size(), 1u);
    EXPECT_EQ(favourites.NotRecipes()[0].number, 4u);
    EXPECT_EQ(favourites.NotRecipes()[0].text, "P1.seed=12345 broken");
    EXPECT_NE(favourites.NotRecipes()[0].error.find("seed"), std::string::npos);
    EXPECT_EQ(Contents(folder / FavouritesAsideName), "P1.seed=12345 broken\n");

    TFavourites restarted(folder.path());
    ASSERT_TRUE(restarted.Load(why)) << why;
    EXPECT_EQ(restarted.Items().size(), 2u);
    EXPECT_TRUE(restarted.NotRecipes().empty()) << "named again at the next start";
}

void Write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// A file's bytes; none for a folder.
test::Bytes Snapshot(const std::string& path) {
    return std::filesystem::is_regular_file(path) ? test::ReadFile(path) : test::Bytes{};
}

std::vector<TFavourite> Loaded(const std::string& folder) {
    TFavourites favourites(folder);
    std::string why;
    EXPECT_TRUE(favourites.Load(why)) << why;
    return favourites.Items();
}

// Two windows on one file: each change starts from what the file holds now.
TEST(Favourites, TwoListsOnOneFileKeepEachOthersChanges) {
    test::TempDir folder;
    TFavourites one(folder.path()), two(folder.path());
    std::string why;
    ASSERT_TRUE(one.Load(why) && two.Load(why)) << why;
    ASSERT_TRUE(one.Add({CodeA, "a"}, why)) << why;
    ASSERT_TRUE(two.Add({CodeB, "b"}, why)) << why;
    const std::vector<TFavourite> both{{CodeA, "a"}, {CodeB, "b"}};
    EXPECT_EQ(Loaded(folder.path()), both);
    EXPECT_EQ(two.Items(), both);

    // one still shows only a: its index 0 is found again by code and name.
    ASSERT_TRUE(one.Rename(0, "first", why)) << why;
    EXPECT_EQ(one.Items(), (std::vector<TFavourite>{{CodeA, "first"}, {CodeB, "b"}}));
    // two's list is stale: its entry 0 (a) has been renamed, so removing it changes nothing.
    ASSERT_TRUE(two.Remove(0, why)) << why;
    EXPECT_EQ(two.Items(), one.Items());
    // Removing two's entry 1 (b) finds it at its place in the file.
    ASSERT_TRUE(two.Remove(1, why)) << why;
    ASSERT_TRUE(one.Add({CodeC, "c"}, why)) << why;
    EXPECT_EQ(Loaded(folder.path()), (std::vector<TFavourite>{{CodeA, "first"}, {CodeC, "c"}}));
    EXPECT_EQ(one.Items(), Loaded(folder.path()));
}

// A file that exists but cannot be read is never replaced; the list is read-only until it reads.
TEST(Favourites, AFileThatCannotBeReadIsLeftAsItIs) {
    struct Case {
        const char* what;
        std::function<void(const std::string& path)> make;
    };
    const Case cases[] = {
        {"larger than the ceiling",
         [](const std::string& path) { Write(path, std::string(MaxFavouritesBytes + 1, '#')); }},
        {"a folder", [](const std::string& path) { std::filesystem::create_directory(path); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::TempDir folder;
        const std::string path = folder / FavouritesFileName;
        c.make(path);
        const test::Bytes before = Snapshot(path);
        TFavourites favourites(folder.path());
        std::string why;
        EXPECT_FALSE(favourites.Load(why));
        EXPECT_TRUE(favourites.ReadOnly());
        why.clear();
        EXPECT_FALSE(favourites.Add({CodeA, "lost?"}, why));
        EXPECT_NE(why.find(path), std::string::npos) << why;
        EXPECT_TRUE(favourites.Items().empty());
        EXPECT_EQ(Snapshot(path), before);
        EXPECT_EQ(std::filesystem::is_directory(path), std::string(c.what) == "a folder");

        // Readable again: the next change goes through.
        std::filesystem::remove(path);
        Write(path, std::string(CodeB) + "\n");
        ASSERT_TRUE(favourites.Add({CodeA, "kept"}, why)) << why;
        EXPECT_FALSE(favourites.ReadOnly());
        EXPECT_EQ(Loaded(folder.path()), (std::vector<TFavourite>{{CodeB, ""}, {CodeA, "kept"}}));
    }
}

TEST(Favourites, CommentsBlankLinesAndAByteOrderMarkStayInTheirPlaces) {
    test::TempDir folder;
    const std::string path = folder / FavouritesFileName;
    const std::string bom = "\xEF\xBB\xBF";
    Write(path, bom + CodeA + " first\n\n# mine\n" + CodeB + "\n  # indented\n");
    TFavourites favourites(folder.path());
    std::string why;
    ASSERT_TRUE(favourites.Load(why)) << why;
    EXPECT_TRUE(favourites.NotRecipes().empty());
    ASSERT_EQ(favourites.Items(), (std::vector<TFavourite>{{CodeA, "first"}, {CodeB, ""}}));
    ASSERT_TRUE(favourites.Add({CodeC, "new"}, why)) << why;
    ASSERT_TRUE(favourites.Rename(0, "renamed", why)) << why;
    ASSERT_TRUE(favourites.Remove(1, why)) << why;
    EXPECT_EQ(Contents(path), bom + CodeA + " renamed\n\n# mine\n  # indented\n" + CodeC + " new\n");
}

} // namespace
} // namespace vorn
