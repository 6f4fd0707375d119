// mkvrp: builds package files from a manifest and a folder tree, and lists package files.
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iostream>
#include <string>

#include "common/part_reader.h"
#include "common/program_version.h"
#include "tools/mkvrp/manifest.h"
#include "tools/mkvrp/package_listing.h"
#include "tools/mkvrp/package_writer.h"
#include "tools/mkvrp/report.h"

namespace {

constexpr const char* USAGE =
    "usage: mkvrp [build] [--owner UID:GID] MANIFEST OUTPUT\n"
    "       mkvrp list FILE     (also --list; FILE - reads standard input)\n"
    "       mkvrp --help | --version\n";

int usage()
{
    std::cerr << USAGE;
    return 2;
}

bool parse_owner(const std::string& text, build_options& options)
{
    unsigned long uid = 0, gid = 0;
    char* end = nullptr;
    uid = std::strtoul(text.c_str(), &end, 10);
    if (end == text.c_str() || *end != ':' || uid > 0xffff)
        return false;
    const char* rest = end + 1;
    gid = std::strtoul(rest, &end, 10);
    if (end == rest || *end != '\0' || gid > 0xffff)
        return false;
    options.override_owner = true;
    options.uid = std::uint16_t(uid);
    options.gid = std::uint16_t(gid);
    return true;
}

// Reproducible builds set SOURCE_DATE_EPOCH; otherwise a package is stamped with the time it is built.
std::uint32_t default_build_time()
{
    if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH")) {
        char* end = nullptr;
        unsigned long long value = std::strtoull(epoch, &end, 10);
        if (*epoch && *end == '\0' && value <= 0xffffffffULL)
            return std::uint32_t(value);
    }
    return std::uint32_t(std::time(nullptr));
}

int run_list(const std::string& path)
{
    std::ifstream file;
    std::string shown = path == "-" ? "standard input" : path;
    file.open(path == "-" ? "/dev/stdin" : path, std::ios::binary);
    if (!file) {
        report_error("cannot open " + shown + ": " + std::strerror(errno));
        return 1;
    }
    std::ios::sync_with_stdio(false);
    if (!list_package(file, std::cout, shown))
        return 1;
    // Listing a file (not a stream) also checks its size against the header, as the repository scan does.
    if (path != "-") {
        file.clear();
        file.seekg(0);
        part_reader header(file);
        std::uint64_t size = 0;
        if (header.good() && !file_length_agrees(path, header.total_file_length(), size)) {
            report_error(shown + ": the file is " + std::to_string(size) + " bytes but its header gives " +
                         std::to_string(header.total_file_length()));
            return 1;
        }
    }
    return 0;
}

int run_build(int argc, char** argv, int first)
{
    build_options options;
    std::string manifest_path, output_path;
    for (int i = first; i < argc; ++i) {
        std::string argument = argv[i];
        if (argument == "--owner") {
            if (i + 1 >= argc || !parse_owner(argv[++i], options)) {
                report_error("--owner takes UID:GID, two numbers below 65536");
                return 2;
            }
        } else if (argument.rfind("--owner=", 0) == 0) {
            if (!parse_owner(argument.substr(8), options)) {
                report_error("--owner takes UID:GID, two numbers below 65536");
                return 2;
            }
        } else if (argument.size() > 1 && argument[0] == '-') {
            report_error("unknown option " + argument);
            return usage();
        } else if (manifest_path.empty()) {
            manifest_path = argument;
        } else if (output_path.empty()) {
            output_path = argument;
        } else {
            return usage();
        }
    }
    if (manifest_path.empty() || output_path.empty())
        return usage();
    if (output_path == "-") {
        report_error("the output must be a file: its lengths are filled in after the data is written");
        return 2;
    }
    manifest description;
    if (!read_manifest(manifest_path, default_build_time(), description))
        return 1;
    return write_package(description, output_path, options) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return usage();
    std::string command = argv[1];
    if (command == "list" || command == "--list" || command == "-l" || command == "-t")
        return argc == 3 ? run_list(argv[2]) : usage();
    if (command == "--help" || command == "-h") {
        std::cout << USAGE;
        return 0;
    }
    if (command == "--version") {
        print_program_version("mkvrp");
        return 0;
    }
    return run_build(argc, argv, command == "build" ? 2 : 1);
}
