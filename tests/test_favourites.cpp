// The favourites file: what is added, renamed and removed is there after a restart, and a line
// that is no recipe is moved aside, named once, while the others load.
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>

#include "gen/Favourites.h"
#include "tests/support/TempDir.h"

namespace vorn {
namespace {

const char* const CodeA = "P1.seed=0000002A";
const char* const CodeB = "P1.size=128.seed=00000007.effect=add";

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

} // namespace
} // namespace vorn
