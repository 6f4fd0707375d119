#include "tools/mkvrp/package_listing.h"

#include <cstdio>
#include <ctime>
#include <vector>

#include "common/byte_order.h"
#include "common/file_record.h"
#include "common/inflate_stream.h"
#include "common/package_header.h"
#include "common/part_reader.h"
#include "tools/mkvrp/report.h"

namespace {

// Part types are 16 bits but nothing beyond these is ever written; anything else is still shown.
constexpr std::int32_t HIGHEST_LISTED_TYPE = 1023;

// A hostile package must not be able to drive the terminal through a listing.
std::string printable(const std::string& text)
{
    std::string shown;
    shown.reserve(text.size());
    for (unsigned char c : text)
        shown += (c < 0x20 || c == 0x7f) ? '?' : char(c);
    return shown;
}

// Build times are shown to the second, file times to the minute.
std::string time_text(std::uint32_t seconds, bool with_seconds)
{
    std::time_t time = std::time_t(seconds);
    std::tm parts{};
    gmtime_r(&time, &parts);
    char text[64];
    if (with_seconds)
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &parts);
    else
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &parts);
    return text;
}

std::string bound_text(version_number version)
{
    return version == 0 ? "-" : version_text(version);
}

struct lister {
    part_reader& reader;
    std::ostream& out;
    std::string source_name;

    bool fail(const std::string& message)
    {
        out.flush();
        report_error(source_name + ": " + message);
        return false;
    }

    bool list_header(const char* word)
    {
        unsigned char record[HEADER_RECORD_SIZE];
        if (!reader.read(reinterpret_cast<char*>(record), HEADER_RECORD_SIZE))
            return fail(std::string("the ") + word + " header is short");
        version_number version = get_u32(record + 16);
        std::uint32_t built = get_u32(record + 20);
        out << word << ' ' << printable(name_from_field(record)) << ' ' << version_text(version) << '\n';
        out << "build-time " << built << " (" << time_text(built, true) << ")\n";
        return true;
    }

    // Text parts are read and printed in slices: their size comes from the file and is not trusted.
    bool list_text(const char* word, bool one_line_per_line)
    {
        char slice[1024];
        out << word << ' ';
        while (reader.remaining_in_part() > 0) {
            std::streamsize want = std::min<std::streamsize>(sizeof slice, reader.remaining_in_part());
            if (!reader.read(slice, want))
                return fail(std::string("the ") + word + " part is short");
            std::string shown;
            for (std::streamsize i = 0; i < want; ++i) {
                if (slice[i] == '\n' && one_line_per_line)
                    shown += std::string("\n") + word + ' ';
                else
                    shown += printable(std::string(1, slice[i]));
            }
            out << shown;
        }
        out << '\n';
        return true;
    }

    bool list_names(const char* word, bool with_extra, bool names_only)
    {
        std::vector<dependency_entry> entries;
        if (!read_name_list(reader, entries))
            return fail(std::string("the ") + word + " list is short");
        if (names_only) {
            out << word;
            for (const auto& entry : entries)
                out << ' ' << printable(entry.name);
            out << '\n';
            return true;
        }
        for (const auto& entry : entries) {
            out << word << ' ' << printable(entry.name) << ' ' << bound_text(entry.minimum) << ' '
                << bound_text(entry.maximum);
            if (with_extra)
                out << ' ' << entry.extra;
            out << '\n';
        }
        return true;
    }

    bool list_record_content(std::istream& data, const file_record& record, std::string& size_column,
                             std::string& suffix)
    {
        size_column = std::to_string(record.content_size);
        if (record.type() == TYPE_SYMLINK) {
            std::string target;
            if (!read_link_target(data, record, target))
                return fail("broken link record " + printable(record.path));
            suffix = " -> " + printable(target);
            return true;
        }
        if (record.is_device()) {
            std::uint32_t device = 0;
            if (!read_device_number(data, device))
                return fail("file data ends inside the record of " + printable(record.path));
            size_column = device_text(device);
            return true;
        }
        if (!skip_content(data, record))
            return fail("file data ends inside the content of " + printable(record.path));
        return true;
    }

    bool list_files()
    {
        out << "files " << reader.current_part_size() << " bytes compressed\n";
        inflate_stream inflater(reader.rdbuf());
        std::istream data(&inflater);
        for (;;) {
            file_record record;
            record_status status = read_file_record(data, record);
            if (status == record_status::end)
                break;
            if (status == record_status::broken) {
                char type[16];
                std::snprintf(type, sizeof type, "0x%04x", unsigned(record.type()));
                return fail("broken file record " + printable(record.path) + " (type " + type + ", content size " +
                            std::to_string(record.content_size) + ")");
            }
            std::string size_column, suffix;
            if (!list_record_content(data, record, size_column, suffix))
                return false;
            char owner[32];
            std::snprintf(owner, sizeof owner, "%u/%u", unsigned(record.uid), unsigned(record.gid));
            char line[96];
            std::snprintf(line, sizeof line, "%s %-11s %10s %s ", mode_text(record.mode).c_str(), owner,
                          size_column.c_str(), time_text(record.mtime, false).c_str());
            out << line << printable(record.path) << suffix << '\n';
        }
        // Readers take a cut-off stream for its end; a listing is there to notice it.
        if (!inflater.finished() || inflater.corrupt())
            return fail("the file data is truncated or corrupt (its compressed stream does not end properly)");
        return true;
    }

    bool list_part(std::int32_t type)
    {
        switch (type) {
        case PART_PACKAGE: return list_header("package");
        case PART_BUNDLE: return list_header("bundle");
        case PART_DESCRIPTION: return list_text("description", true);
        case PART_ARCHITECTURE: return list_text("architecture", false);
        case PART_DEPENDENCIES: return list_names("depends", false, false);
        case PART_PROVIDES: return list_names("provides", true, false);
        case PART_CONFLICTS: return list_names("conflicts", false, false);
        case PART_BUNDLE_NAMES: return list_names("bundle-names", false, true);
        case PART_INSTALL_SCRIPT:
            out << "install-script " << reader.current_part_size() << " bytes\n";
            return true;
        case PART_UNINSTALL_SCRIPT:
            out << "uninstall-script " << reader.current_part_size() << " bytes\n";
            return true;
        case PART_FILES: return list_files();
        default:
            out << "part " << type << ' ' << reader.current_part_size() << " bytes\n";
            return true;
        }
    }
};

}  // namespace

std::string device_text(std::uint32_t device)
{
    unsigned major = (device >> 8) & 0xfff;
    unsigned minor = (device & 0xff) | ((device >> 12) & 0xfff00);
    return std::to_string(major) + "," + std::to_string(minor);
}

bool list_package(std::istream& in, std::ostream& out, const std::string& source_name)
{
    part_reader reader(in);
    lister listing{reader, out, source_name};
    if (!reader.good())
        return listing.fail("not a package file (no package magic in its first 8 bytes)");
    if (reader.is_nodb())
        out << "nodb yes\n";
    for (std::int32_t type = 0; type <= HIGHEST_LISTED_TYPE; ++type)
        reader.accept(type);
    std::uint64_t parts_end = FILE_HEADER_SIZE;
    for (;;) {
        std::int32_t type = reader.next_part();
        if (type < 0)
            break;
        parts_end = reader.position() + reader.current_part_size();
        if (!listing.list_part(type))
            return false;
        // A part whose consumer stopped early (a reader would just skip the rest) must still be
        // complete in the file.
        reader.clear();
    }
    if (reader.position() != parts_end)
        return listing.fail("the last part is cut short");
    if (parts_end != reader.total_file_length())
        return listing.fail("the file header gives " + std::to_string(reader.total_file_length()) +
                            " bytes but the parts end at " + std::to_string(parts_end));
    out.flush();
    return true;
}
