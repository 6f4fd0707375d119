#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

#include "setup/console_capture.h"
#include "setup/package_fixture.h"
#include "setup/tui/package_menu.h"

namespace {

const std::string UP = "\x1b[A", DOWN = "\x1b[B", RIGHT = "\x1b[C", LEFT = "\x1b[D";

std::string current_name(const package_list& list)
{
    return std::string(package_name(list.entries[list.display_order[list.grid.current]]));
}

std::string display_names(const package_list& list)
{
    std::string names;
    for (size_t index : list.display_order)
        names += (names.empty() ? "" : " ") + std::string(package_name(list.entries[index]));
    return names;
}

}  // namespace

TEST(package_menu, keys_move_select_and_decide)
{
    // Display order of this list: system ppp dhcp a b c d (3 rows: system ppp dhcp | a b c | d).
    const std::vector<std::string> packages = {"d:c", "c:b", "b", "ppp:a", "system", "a", "dhcp"};
    struct key_case {
        std::string keys;
        bool result;
        bool remote;
        std::string selected;  // in directory order
        std::string current;
    };
    const key_case cases[] = {
        {"i", true, false, "system", "system"},
        {"I", true, false, "system", "system"},
        {"r", true, true, "system", "system"},
        {"q", false, false, "system", "system"},
        {"\x1bq", false, false, "system", "system"},
        {"", false, false, "system", "system"},  // the input ended: cancel
        // Selecting ppp takes a along; deselecting a takes ppp along.
        {"n n i", true, false, "ppp system a dhcp", "dhcp"},
        {"n n" + DOWN + " i", true, false, "system", "a"},
        {"nnpP" + DOWN + UP + "i", true, false, "system", "system"},
        {RIGHT + RIGHT + RIGHT + "i", true, false, "system", "d"},
        {RIGHT + RIGHT + LEFT + "n i", true, false, "b system", "b"},
        {"p" + LEFT + UP + "i", true, false, "system", "system"},
        // Selecting d takes c but not c's dependency b; deselecting c takes d along.
        {RIGHT + RIGHT + " i", true, false, "d c system", "d"},
        {RIGHT + RIGHT + " " + UP + " i", true, false, "system", "c"},
        // A selected system stays selected.
        {"  i", true, false, "system", "system"},
        {"a" "i", true, false, "d c b ppp system a dhcp", "system"},
        {"a" "mR", true, true, "system", "system"},
        // Unknown keys and unknown escape sequences are ignored; ESC then a key is that key.
        {"xz\x1b[Z\x1b\x1b" "a\x1bi", true, false, "d c b ppp system a dhcp", "system"},
        {"\x1b[C \x1b" "n i", true, false, "b system a", "b"},
    };
    for (const auto& c : cases) {
        package_list list;
        fill_list(list, packages);
        list.directory = "/nonexistent";
        list.remote = !c.remote;
        bool result = !c.result;
        conversation(c.keys, [&] { result = package_menu_run(list); });
        EXPECT_EQ(result, c.result) << c.keys;
        EXPECT_EQ(remote_requested(list), c.remote) << c.keys;
        EXPECT_EQ(selected_names(list), c.selected) << c.keys;
        EXPECT_EQ(current_name(list), c.current) << c.keys;
        EXPECT_EQ(display_names(list), "system ppp dhcp a b c d") << c.keys;
    }
}

TEST(package_menu, display_order_and_opening_selection)
{
    struct order_case {
        std::vector<std::string> packages;
        const char* defpacks;  // nullptr: no file
        std::string display;
        std::string selected;
    };
    const order_case cases[] = {
        {{"zebra", "ppp", "apple", "system"}, nullptr, "system ppp apple zebra", "system"},
        {{"dhcp", "b", "a", "exactly16charsxxY", "exactly16charsxx", "ppp"}, "",
         "ppp dhcp a b exactly16charsxx exactly16charsxx", ""},
        // Same-named entries keep directory order; the first "system" is the one selected.
        {{"system:x", "system", "x"}, "\n", "system system x", "system"},
        {{"system", "web:lib", "lib:base", "base", "other"}, "web  nosuch\nexactly16charsxxLONGER\n",
         "system base lib other web", "system web lib"},
    };
    for (const auto& c : cases) {
        char name[] = "/tmp/package-menu-XXXXXX";
        std::string directory = mkdtemp(name);
        if (c.defpacks != nullptr)
            std::ofstream(directory + "/defpacks") << c.defpacks;
        package_list list;
        fill_list(list, c.packages);
        // Loaded with everything selected: opening the menu still starts from the minimum.
        for (package_entry& entry : list.entries)
            entry.selected = true;
        list.directory = directory.c_str();
        conversation("q", [&] { package_menu_run(list); });
        EXPECT_EQ(display_names(list), c.display) << c.display;
        EXPECT_EQ(selected_names(list), c.selected) << c.display;
        std::system(("rm -rf '" + directory + "'").c_str());
    }
}

TEST(package_menu, screen_shows_grid_and_information_cut_to_the_width)
{
    package_list list;
    std::vector<std::string> many;
    for (int i = 0; i < 12; ++i)
        many.push_back("dependency" + std::to_string(i));
    list.entries = {make_entry("system", {}, "The base system."),
                    make_entry("exactly16charsxx", many, "A long name.")};
    list.directory = "/nonexistent";
    std::string screen = conversation("n\x1b[Bq", [&] { package_menu_run(list); });

    const std::string opening =
        "\x1b[2J\x1b[H\x1b[?25l\x1b[m\x1b[1m" + std::string(16, ' ') +
        "Welcome to Kestrova Router Software installation\n" + std::string(40, ' ') + "\n\x1b[m"
        "Move around menu using 'p' and 'n' or arrow keys, select with 'spacebar'. \n"
        "Select all with 'a', minimum with 'm'. Press 'i' to install locally or 'r' to \n"
        "install remote router or 'q' to cancel and reboot. \n"
        "\x1b[7;0H \x1b[m\x1b[7m [X] system \x1b[m"
        "\x1b[7;26H  [ ] exactly16charsxx "
        "\x1b[21;0H\x1b[2K\x1b[22;0H\x1b[2K\x1b[23;0H\x1b[2K\x1b[21;0H"
        "system (depends on nothing):\nThe base system. \n";
    EXPECT_EQ(screen.substr(0, opening.size()), opening);
    // The move redraws both items and the information; the arrow down at the end is refused.
    const std::string line =
        "exactly16charsxx (depends on dependency0, dependency1, dependency2, depende...):";
    EXPECT_EQ(line.size(), 80u);
    EXPECT_EQ(screen.substr(opening.size()),
              "\x1b[7;0H  [X] system \x1b[7;26H \x1b[m\x1b[7m [ ] exactly16charsxx \x1b[m"
              "\x1b[21;0H\x1b[2K\x1b[22;0H\x1b[2K\x1b[23;0H\x1b[2K\x1b[21;0H" +
                  line + "\nA long name. \n\x1b[25;0H");
}

TEST(package_menu, keeps_what_system_needs_and_pages_through_many_packages)
{
    struct key_case {
        std::vector<std::string> packages;
        std::string keys;
        std::string selected;  // in directory order
        std::string current;
    };
    // 60 packages, "system" needing p050. Display order: system p000 ... p058, pages of 39.
    std::vector<std::string> many = {"system:p050"};
    std::string all = "system";
    for (int i = 0; i < 59; ++i) {
        many.push_back("p0" + std::string(i < 10 ? "0" : "") + std::to_string(i));
        all += " " + many.back();
    }
    const std::string PAGE_DOWN = "\x1b[6~", PAGE_UP = "\x1b[5~";
    const key_case cases[] = {
        // Display order: system base web, one row.
        {{"system:base", "base", "web:base"}, "a" + RIGHT + " i", "system base web", "base"},
        {{"system:base", "base", "web:base"}, RIGHT + "  i", "system base", "base"},
        {{"system:base", "base", "web:base"}, "a" + RIGHT + RIGHT + " i", "system base", "web"},
        // Once "system" is not selected, nothing is kept for it.
        {{"system", "base", "web:base"}, "a" + RIGHT + " i", "system", "base"},
        {many, "> i", "system p038", "p038"},
        {many, PAGE_DOWN + PAGE_DOWN + " i", "system p038", "p038"},
        {many, std::string(40, 'n') + " " + PAGE_UP + " i", "system p000 p039", "p000"},
        {many, PAGE_DOWN + RIGHT + RIGHT + " < i", "system p012 p051", "p012"},
        {many, PAGE_DOWN + LEFT + " i", "system p025", "p025"},
        {many, "a" + PAGE_DOWN + RIGHT + "p i", all, "p050"},
    };
    for (const auto& c : cases) {
        package_list list;
        fill_list(list, c.packages);
        list.directory = "/nonexistent";
        conversation(c.keys, [&] { package_menu_run(list); });
        EXPECT_EQ(selected_names(list), c.selected) << c.keys;
        EXPECT_EQ(current_name(list), c.current) << c.keys;
    }
}

TEST(package_menu, text_from_package_files_reaches_the_screen_without_controls)
{
    package_list list;
    list.entries = {make_entry("system"),
                    make_entry("\x1b[2Jevil\x07", {"\x9b" "1;1Hdep"},
                               "one\x1b]0;title\x07two\nthree\tfour " + std::string(200, 'w') + " x")};
    list.directory = "/nonexistent";
    std::string screen = conversation("nq", [&] { package_menu_run(list); });
    // The only clear is the menu's own; the name, its dependency and the description lose their
    // controls; the description keeps to the two rows left in the information area.
    EXPECT_EQ(screen.find("\x1b[2J", 1), std::string::npos);
    EXPECT_EQ(screen.find('\x07'), std::string::npos);
    EXPECT_NE(screen.find("\x1b[7;26H  [ ] evil "), std::string::npos) << screen;
    const std::string information = "\x1b[21;0Hevil (depends on 1;1Hdep):\none0;titletwo three four \n" +
                                    std::string(80, 'w') + "\n\x1b[25;0H";
    EXPECT_EQ(screen.substr(screen.size() - information.size()), information);
}
