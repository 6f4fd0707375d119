#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <unistd.h>

#include "setup/console_capture.h"
#include "setup/package_fixture.h"
#include "setup/tui/package_list.h"

namespace {

class scratch_directory {
public:
    scratch_directory()
    {
        char name[] = "/tmp/package-list-XXXXXX";
        path_ = mkdtemp(name);
    }
    ~scratch_directory() { std::system(("rm -rf '" + path_ + "'").c_str()); }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// Each entry as "name|description|dep,dep|selected", sorted, so that the directory order of the
// file system does not matter.
std::vector<std::string> summaries(const package_list& list)
{
    std::vector<std::string> out;
    for (const package_entry& entry : list.entries) {
        std::string line = std::string(package_name(entry)) + "|" + entry.description + "|";
        for (size_t i = 0; i < entry.dependency_count; ++i)
            line += (i > 0 ? "," : "") + std::string(dependency_name(entry, i));
        out.push_back(line + (entry.selected ? "|x" : "|") + (entry.bundle ? "|bundle" : ""));
    }
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace

TEST(package_list, loads_headers_descriptions_and_dependencies_of_package_files_only)
{
    const std::string plain = package_file(part(1, header_record("plain")));
    std::string huge_description = package_file(part(1, header_record("big")));
    append_u16(huge_description, 2);
    append_u32(huge_description, 0xfffffff0u);
    huge_description += "only a little";
    std::string huge_count = package_file(part(1, header_record("many")));
    append_u16(huge_count, 3);
    append_u32(huge_count, 40);
    append_u16(huge_count, 0xffff);
    huge_count += std::string(38, 'x');

    struct load_case {
        const char* label;
        std::map<std::string, std::string> files;
        bool selected;
        bool loaded;
        std::string screen;  // "%s" stands for the directory
        std::vector<std::string> entries;
    };
    // A bundle: its own architecture, dependencies and name list, then two members whose
    // descriptions, dependencies and file data are not the bundle's.
    const std::string bundle = package_file(
        part(18, header_record("vpn")) + part(16, "i386") + part(3, name_list({"system"})) +
        part(20, name_list({"vpn-extra"})) + part(1, header_record("vpn-core")) + part(2, "Core") +
        part(3, name_list({"libc"})) + part(4, std::string(5000, 'c')) +
        part(1, header_record("exactly16charsxx")) + part(3, name_list({"vpn-core"})) + part(4, "t"));

    const load_case cases[] = {
        {"qualifying names",
         {{"a.vrp", package_file(part(1, header_record("alpha")) + part(2, "Alpha tools") +
                                 part(16, "i386") + part(3, name_list({"beta", "exactly16charsxx"})) +
                                 part(4, std::string(9000, 'z')))},
          {".vrp", package_file(part(1, header_record("exactly16charsxx")) + part(3, name_list({})))},
          {"b.vrp", package_file(part(1, header_record("beta")) + part(3, name_list({"alpha"})))},
          {"a.vrp.txt", "not a package"},
          {"vrp", "not a package"},
          {"readme", "not a package"}},
         true, true, "",
         {"alpha|Alpha tools|beta,exactly16charsxx|x", "beta||alpha|x", "exactly16charsxx|||x"}},
        {"loaded unselected", {{"p.vrp", plain}}, false, true, "", {"plain|||"}},
        {"bundles among packages, the extension in any case",
         {{"VPN.VRP", bundle},
          {"Solo.Vrp", package_file(part(18, header_record("solo")) + part(1, header_record("only")))},
          {"SYSTEM.VRP", package_file(part(1, header_record("system")))}},
         false, true, "",
         {"solo|only|||bundle", "system|||", "vpn|vpn-core, exactly16charsxx|system||bundle"}},
        {"bundle without members", {{"x.vrp", package_file(part(18, header_record("empty")) + part(3, name_list({})))}},
         false, false, "FATAL ERROR: Bad package %s/x.vrp\n", {}},
        {"bundle cut short in a member header",
         {{"x.vrp", package_file(part(18, header_record("cut")) + part(1, header_record("a")) + part(1, "tiny"))}},
         false, false, "FATAL ERROR: Bad package %s/x.vrp\n", {}},
        {"neither package nor bundle", {{"x.vrp", package_file(part(4, "data") + part(7, "script"))}},
         false, false, "FATAL ERROR: Bad package %s/x.vrp\n", {}},
        {"file name shown without its escape sequence", {{"\x1b[2Jx.vrp", "garbage that is long enough"}},
         false, false, "FATAL ERROR: Bad package %s/x.vrp\n", {}},
        {"nothing qualifies", {{"p.vrp.old", plain}}, false, false, "FATAL ERROR: No packages found\n", {}},
        {"not a package", {{"x.vrp", "garbage that is long enough"}}, false, false,
         "FATAL ERROR: Bad package %s/x.vrp\n", {}},
        {"no header part first", {{"x.vrp", package_file(part(3, name_list({})) + part(1, header_record("x")))}},
         false, false, "FATAL ERROR: Bad package %s/x.vrp\n", {}},
        {"short header", {{"x.vrp", package_file(part(1, "tiny"))}}, false, false,
         "FATAL ERROR: Bad package %s/x.vrp\n", {}},
        {"description larger than the file", {{"x.vrp", huge_description}}, false, false,
         "FATAL ERROR: Bad package %s/x.vrp\n", {}},
        {"dependency count beyond the part", {{"x.vrp", huge_count}}, false, false,
         "FATAL ERROR: Bad package %s/x.vrp\n", {}},
    };
    for (const auto& c : cases) {
        scratch_directory directory;
        for (const auto& [name, content] : c.files)
            std::ofstream(directory.path() + "/" + name, std::ios::binary) << content;
        package_list list;
        package_list_init(list, directory.path().c_str());
        bool loaded = !c.loaded;
        std::string screen = conversation("", [&] { loaded = package_list_load(list, c.selected); });
        std::string expected = c.screen;
        if (size_t at = expected.find("%s"); at != std::string::npos)
            expected.replace(at, 2, directory.path());
        EXPECT_EQ(loaded, c.loaded) << c.label;
        EXPECT_EQ(screen, expected) << c.label;
        if (c.loaded) {
            EXPECT_EQ(summaries(list), c.entries) << c.label;
        }
        for (const package_entry& entry : list.entries)
            EXPECT_EQ(entry.path.rfind(directory.path() + "/", 0), 0u) << c.label;
    }
    package_list missing;
    package_list_init(missing, "/nonexistent/medium");
    bool loaded = true;
    EXPECT_EQ(conversation("", [&] { loaded = package_list_load(missing, false); }),
              "FATAL ERROR: No packages found\n");
    EXPECT_FALSE(loaded);
}
