#include "tools/mkvrp/manifest.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "tools/mkvrp/report.h"

namespace {

// A version bound of a list entry: "-" or "0" is no bound, else version text.
bool parse_version_bound(const std::string& text, version_number& version)
{
    if (text == "-" || text == "0") {
        version = 0;
        return true;
    }
    return parse_version_text(text, version);
}

struct manifest_parser {
    manifest_parser(const std::string& source, const std::string& base, manifest& into)
        : source_name(source), base_folder(base), result(into)
    {
    }

    std::string source_name;
    std::string base_folder;
    manifest& result;
    int line_number = 0;
    bool ok = true;
    bool any_key = false;
    package_manifest* current = nullptr;  // the section that keys go to
    std::vector<std::string> seen;        // single-valued keys given in the current section

    bool fail(const std::string& message)
    {
        report_error(source_name + ":" + std::to_string(line_number) + ": " + message);
        ok = false;
        return false;
    }

    std::string resolve(const std::string& path) const
    {
        if (path.empty() || path[0] == '/' || base_folder.empty())
            return path;
        return base_folder + "/" + path;
    }

    bool check_name(const std::string& name, const char* what)
    {
        if (name.empty())
            return fail(std::string(what) + " is empty");
        if (name.size() > NAME_FIELD_SIZE)
            return fail(std::string(what) + " \"" + name + "\" is longer than 16 characters");
        if (name.find('/') != std::string::npos)
            return fail(std::string(what) + " \"" + name + "\" contains \"/\"");
        return true;
    }

    bool take_version(const std::string& text, version_number& version)
    {
        if (!parse_version_text(text, version))
            return fail("bad version \"" + text + "\" (expected forms like 2.9.3, 3.0, 3.0rc5, 3.0alpha2, 3.0beta)");
        return true;
    }

    bool take_u32(const std::string& text, std::uint32_t& value, const char* what)
    {
        errno = 0;
        char* end = nullptr;
        unsigned long long parsed = std::strtoull(text.c_str(), &end, 10);
        if (text.empty() || text[0] == '-' || *end != '\0' || errno != 0 || parsed > 0xffffffffULL)
            return fail(std::string("bad ") + what + " \"" + text + "\"");
        value = std::uint32_t(parsed);
        return true;
    }

    bool take_entry(const std::string& key, const std::vector<std::string>& words, bool with_extra,
                    std::vector<dependency_entry>& list)
    {
        std::size_t most = with_extra ? 5 : 4;
        if (words.size() < 2 || words.size() > most)
            return fail(key + " takes NAME [MIN] [MAX]" + (with_extra ? " [EXTRA]" : ""));
        if (list.size() >= MAX_NAME_LIST_ENTRIES)
            return fail("too many " + key + " entries");
        dependency_entry entry;
        entry.name = words[1];
        if (!check_name(entry.name, "package name"))
            return false;
        if (words.size() > 2 && !parse_version_bound(words[2], entry.minimum))
            return fail("bad minimum version \"" + words[2] + "\" (a version, or - for none)");
        if (words.size() > 3 && !parse_version_bound(words[3], entry.maximum))
            return fail("bad maximum version \"" + words[3] + "\" (a version, or - for none)");
        if (words.size() > 4) {
            errno = 0;
            char* end = nullptr;
            long long extra = std::strtoll(words[4].c_str(), &end, 10);
            if (*end != '\0' || errno != 0 || extra < INT32_MIN || extra > INT32_MAX)
                return fail("bad extra number \"" + words[4] + "\"");
            entry.extra = std::int32_t(extra);
        }
        list.push_back(std::move(entry));
        return true;
    }

    // Keys that a package section and a bundle header share.
    bool take_common_key(const std::string& key, const std::vector<std::string>& words, const std::string& rest,
                         package_manifest& package)
    {
        bool single_valued = key == "name" || key == "version" || key == "build-time" || key == "architecture";
        if (single_valued) {
            for (const auto& earlier : seen)
                if (earlier == key)
                    return fail("\"" + key + "\" given twice");
            seen.push_back(key);
            if (words.size() != 2)
                return fail("\"" + key + "\" takes exactly one value");
        }
        if (key == "name") {
            package.name = words[1];
            return check_name(package.name, "package name");
        }
        if (key == "version")
            return take_version(words[1], package.version);
        if (key == "build-time")
            return take_u32(words[1], package.build_time, "build time");
        if (key == "architecture") {
            package.architecture = rest;
            return true;
        }
        if (key == "depends")
            return take_entry(key, words, false, package.dependencies);
        if (key == "provides")
            return take_entry(key, words, true, package.provides);
        if (key == "conflicts")
            return take_entry(key, words, false, package.conflicts);
        return fail("unknown key \"" + key + "\"");
    }

    bool take_package_key(const std::string& key, const std::vector<std::string>& words, const std::string& rest,
                          package_manifest& package)
    {
        if (key == "description") {
            // Several lines make a text of several lines.
            if (package.has_description)
                package.description += "\n";
            package.description += rest;
            package.has_description = true;
            return true;
        }
        std::string* path = key == "install-script" ? &package.install_script
                            : key == "uninstall-script" ? &package.uninstall_script
                            : key == "tree" ? &package.tree
                                           : nullptr;
        if (path) {
            if (rest.empty())
                return fail("\"" + key + "\" needs a path");
            if (!path->empty())
                return fail("\"" + key + "\" given twice");
            *path = resolve(rest);
            return true;
        }
        return take_common_key(key, words, rest, package);
    }

    // The first key decides between a single package and a bundle. True when the line was the
    // bundle's opening line and is done with.
    bool take_first_line(const std::vector<std::string>& words)
    {
        any_key = true;
        if (words[0] == "bundle") {
            result.is_bundle = true;
            result.bundle.first_line = line_number;
            current = &result.bundle;
            if (words.size() != 3)
                return !fail("\"bundle\" takes NAME VERSION");
            result.bundle.name = words[1];
            if (check_name(words[1], "bundle name"))
                take_version(words[2], result.bundle.version);
            return true;
        }
        open_package_section();
        return false;
    }

    void open_package_section()
    {
        result.packages.emplace_back();
        current = &result.packages.back();
        current->first_line = line_number;
        seen.clear();
    }

    void take_line(const std::string& key, const std::vector<std::string>& words, const std::string& rest)
    {
        if (key == "bundle") {
            fail("\"bundle\" must be the first line of a manifest");
        } else if (key == "nodb") {
            if (current != &result.bundle && result.is_bundle)
                fail("\"nodb\" belongs to the bundle, before its first package section");
            else if (words.size() != 2 || (words[1] != "yes" && words[1] != "no"))
                fail("\"nodb\" takes yes or no");
            else
                result.nodb = words[1] == "yes";
        } else if (key == "package") {
            if (!result.is_bundle)
                fail("\"package\" sections belong to bundles (begin the manifest with \"bundle NAME VERSION\")");
            else if (words.size() != 1)
                fail("\"package\" takes no value; give name and version on the lines below it");
            else
                open_package_section();
        } else if (current == &result.bundle) {
            take_bundle_key(key, words, rest);
        } else if (key == "bundle-names") {
            fail("\"bundle-names\" belongs to the bundle, before its first package section");
        } else {
            take_package_key(key, words, rest, *current);
        }
    }

    void take_bundle_key(const std::string& key, const std::vector<std::string>& words, const std::string& rest)
    {
        if (key == "bundle-names") {
            for (std::size_t i = 1; i < words.size(); ++i)
                if (check_name(words[i], "bundle member name"))
                    result.bundle_names.push_back(words[i]);
            if (result.bundle_names.size() > MAX_NAME_LIST_ENTRIES)
                fail("too many bundle names");
        } else if (key == "name" || key == "version") {
            fail("a bundle's name and version are given on its \"bundle\" line");
        } else if (key == "description" || key == "install-script" || key == "uninstall-script" || key == "tree") {
            fail("\"" + key + "\" belongs to a package section (opened by a line \"package\")");
        } else {
            take_common_key(key, words, rest, result.bundle);
        }
    }

    // Whole-manifest checks, and the build times the manifest leaves out: the build's own time,
    // and for members their bundle's.
    void finish(std::uint32_t default_build_time)
    {
        if (result.is_bundle) {
            if (result.bundle.build_time == 0)
                result.bundle.build_time = default_build_time;
            if (result.packages.empty()) {
                line_number = result.bundle.first_line;
                fail("bundle \"" + result.bundle.name + "\" has no package sections");
            }
        }
        for (std::size_t i = 0; i < result.packages.size(); ++i)
            for (std::size_t j = 0; j < i; ++j)
                if (!result.packages[i].name.empty() && result.packages[i].name == result.packages[j].name) {
                    line_number = result.packages[i].first_line;
                    fail("package \"" + result.packages[i].name + "\" appears twice in the bundle");
                }
        for (auto& package : result.packages) {
            if (package.build_time == 0)
                package.build_time = result.is_bundle ? result.bundle.build_time : default_build_time;
            finish_package(package, result.is_bundle ? "package section" : "package");
        }
    }

    bool finish_package(package_manifest& package, const char* what)
    {
        int saved = line_number;
        line_number = package.first_line;
        if (package.name.empty())
            fail(std::string(what) + " has no name");
        else if (package.version == 0)
            fail(std::string(what) + " \"" + package.name + "\" has no version");
        line_number = saved;
        return ok;
    }
};

std::vector<std::string> split_words(const std::string& line)
{
    std::vector<std::string> words;
    std::istringstream in(line);
    std::string word;
    while (in >> word)
        words.push_back(word);
    return words;
}

std::string trim(const std::string& text)
{
    const char* blanks = " \t\r";
    std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

}  // namespace

bool parse_manifest(const std::string& text, const std::string& source_name, const std::string& base_folder,
                    std::uint32_t default_build_time, manifest& result)
{
    manifest_parser parser{source_name, base_folder, result};
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        ++parser.line_number;
        std::string stripped = trim(line);
        if (stripped.empty() || stripped[0] == '#')
            continue;
        std::vector<std::string> words = split_words(stripped);
        std::string rest = trim(stripped.substr(words[0].size()));
        if (!parser.any_key && parser.take_first_line(words))
            continue;
        parser.take_line(words[0], words, rest);
    }
    if (!parser.any_key) {
        parser.line_number = 0;
        parser.fail("the manifest is empty");
        return false;
    }
    if (!parser.ok)
        return false;
    parser.finish(default_build_time);
    return parser.ok;
}

bool read_manifest(const std::string& path, std::uint32_t default_build_time, manifest& result)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        report_error("cannot read manifest " + path + ": " + std::strerror(errno));
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) {
        report_error("cannot read manifest " + path);
        return false;
    }
    std::string folder;
    std::size_t slash = path.rfind('/');
    if (slash != std::string::npos)
        folder = slash == 0 ? "/" : path.substr(0, slash);
    return parse_manifest(text.str(), path, folder, default_build_time, result);
}
