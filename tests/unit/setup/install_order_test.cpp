#include <cstring>
#include <gtest/gtest.h>
#include <string>

#include "setup/package_fixture.h"
#include "setup/tui/install_order.h"

TEST(install_order, every_package_follows_its_dependencies_once)
{
    struct order_case {
        std::vector<std::string> packages;  // directory order
        std::vector<std::string> selected;
        std::string order;
    };
    const order_case cases[] = {
        {{"a:b", "b:c", "c"}, {"a"}, "c b a"},
        {{"c", "b:c", "a:b"}, {"a", "b", "c"}, "c b a"},
        // Dependencies come in list order; missing ones are passed over; cycles end.
        {{"web:lib,ssl,gone", "ssl:lib", "lib", "x:y", "y:x"}, {"web", "y"}, "lib ssl web x y"},
        {{"system", "ppp"}, {}, ""},
        // The first of two same-named entries is the one depended on.
        {{"app:lib", "lib", "lib:extra", "extra"}, {"app"}, "lib app"},
        {{"exactly16charsxx", "tool:exactly16charsxx"}, {"tool"}, "exactly16charsxx tool"},
    };
    for (const auto& c : cases) {
        package_list list;
        fill_list(list, c.packages);
        for (const std::string& name : c.selected)
            find_package(list, name)->selected = true;
        install_order order;
        install_order_init(order, list);
        list.entries[0].selected = !list.entries[0].selected;  // later changes do not count

        char name[20];
        std::memset(name, 'x', sizeof name);
        install_order_name(order, name);
        EXPECT_EQ(std::string(name, sizeof name), std::string(20, '\0'));
        std::string names;
        std::string path;
        while (install_order_next(order, path)) {
            install_order_name(order, name);
            EXPECT_EQ(std::string(name + 16, 4), std::string(4, '\0'));
            EXPECT_EQ(path, "/media/" + std::string(name) + ".vrp");
            names += (names.empty() ? "" : " ") + std::string(name);
        }
        EXPECT_EQ(names, c.order);
        EXPECT_FALSE(install_order_next(order, path));
    }
}
