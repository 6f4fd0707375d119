// floppyset: cuts package files into a set of floppy parts, makes their floppy images, checks a set
// and spoils a block on purpose.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "common/program_version.h"
#include "tools/floppyset/block_damage.h"
#include "tools/floppyset/floppy_images.h"
#include "tools/floppyset/set_check.h"
#include "tools/floppyset/set_writer.h"

namespace {

constexpr const char* USAGE =
    "usage: floppyset build [--capacity BYTES] [--block-size BYTES] [--blocks-per-group N]\n"
    "                       [--parity N] [--set-id N] [--images] OUTPUT_DIR PACKAGE\n"
    "       floppyset check [--output FILE] PART...\n"
    "       floppyset damage PART GROUP BLOCK\n"
    "       floppyset image IMAGE [PART]\n"
    "       floppyset --help | --version\n";

int usage()
{
    std::cerr << USAGE;
    return 2;
}

bool parse_number(const char* text, unsigned long long limit, unsigned long long& value)
{
    char* end = nullptr;
    value = std::strtoull(text, &end, 0);
    return *text && *end == '\0' && value <= limit;
}

int run_build(int argc, char** argv)
{
    set_layout layout;
    bool images = false;
    int at = 0;
    for (; at < argc && std::strncmp(argv[at], "--", 2) == 0; ++at) {
        std::string option = argv[at];
        unsigned long long value = 0;
        if (option == "--images") {
            images = true;
            continue;
        }
        if (at + 1 >= argc)
            return usage();
        const char* text = argv[++at];
        if (option == "--capacity" && parse_number(text, ~0ULL, value))
            layout.capacity = value;
        else if (option == "--block-size" && parse_number(text, 0xffff, value))
            layout.block_size = std::uint16_t(value);
        else if (option == "--blocks-per-group" && parse_number(text, 0xffff, value))
            layout.blocks_per_group = std::uint16_t(value);
        else if (option == "--parity" && parse_number(text, 0xffff, value))
            layout.parity_blocks = std::uint16_t(value);
        else if (option == "--set-id" && parse_number(text, 0xffffffff, value)) {
            layout.set_identifier = std::uint32_t(value);
            layout.identifier_given = true;
        } else
            return usage();
    }
    if (argc - at < 2)
        return usage();
    // installer reads one package file from the stream and stops there: a set of two files would
    // install the first one and drop the rest without a word.
    if (argc - at > 2) {
        std::cerr << "floppyset: " << argc - at - 1
                  << " package files given, but the floppy installation installs one file from a set\n"
                     "floppyset: make them one bundle with mkvrp (a manifest that starts with \"bundle NAME "
                     "VERSION\" and has one \"package\" section each) and build the set from that file\n";
        return 1;
    }
    std::string output = argv[at];
    std::vector<std::string> packages(argv + at + 1, argv + argc);
    std::vector<std::string> parts;
    if (!write_floppy_set(layout, packages, output, parts))
        return 1;
    for (const std::string& part : parts) {
        if (images && !make_floppy_image(part + ".img", part))
            return 1;
        std::cout << part << "\n";
    }
    return 0;
}

int run_check(int argc, char** argv)
{
    std::string output;
    int at = 0;
    if (argc >= 2 && std::strcmp(argv[0], "--output") == 0) {
        output = argv[1];
        at = 2;
    }
    if (at >= argc)
        return usage();
    std::string stream;
    if (!check_floppy_set(std::vector<std::string>(argv + at, argv + argc), stream))
        return 1;
    if (!output.empty()) {
        std::ofstream file(output, std::ios::binary | std::ios::trunc);
        if (!file.write(stream.data(), std::streamsize(stream.size())).flush()) {
            std::cerr << "floppyset: can't write " << output << "\n";
            return 1;
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return usage();
    std::string command = argv[1];
    if (command == "--help" || command == "-h") {
        std::fputs(USAGE, stdout);
        return 0;
    }
    if (command == "--version") {
        print_program_version("floppyset");
        return 0;
    }
    if (command == "build")
        return run_build(argc - 2, argv + 2);
    if (command == "check")
        return run_check(argc - 2, argv + 2);
    if (command == "damage" && argc == 5) {
        unsigned long long group = 0, block = 0;
        if (!parse_number(argv[3], 0xffffffff, group) || !parse_number(argv[4], 0xffff, block))
            return usage();
        return damage_block(argv[2], unsigned(group), unsigned(block)) ? 0 : 1;
    }
    if (command == "image" && (argc == 3 || argc == 4))
        return make_floppy_image(argv[2], argc == 4 ? argv[3] : "") ? 0 : 1;
    return usage();
}
