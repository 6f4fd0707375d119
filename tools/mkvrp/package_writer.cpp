#include "tools/mkvrp/package_writer.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/file_descriptor.h"
#include "common/part_reader.h"
#include "tools/mkvrp/container_writer.h"
#include "tools/mkvrp/file_data_writer.h"
#include "tools/mkvrp/report.h"

namespace {

struct output_identity {
    dev_t device = 0;
    ino_t inode = 0;
};

bool write_header_part(container_writer& output, std::uint16_t type, const package_manifest& package)
{
    std::string record;
    append_header_record(record, package.name, package.version, package.build_time);
    return output.begin_part(type) && output.write(record) && output.end_part();
}

bool write_text_part(container_writer& output, std::uint16_t type, const std::string& text)
{
    return output.begin_part(type) && output.write(text) && output.end_part();
}

bool write_name_list(container_writer& output, std::uint16_t type, const std::vector<dependency_entry>& entries)
{
    std::string list;
    return append_name_list(list, entries) && output.begin_part(type) && output.write(list) && output.end_part();
}

// Scripts are copied in pieces: nothing stops a builder from shipping a large one.
bool write_script_part(container_writer& output, std::uint16_t type, const std::string& path)
{
    owned_descriptor descriptor(::open(path.c_str(), O_RDONLY));
    if (!descriptor.valid()) {
        report_error("cannot read script " + path + ": " + std::strerror(errno));
        return false;
    }
    bool ok = output.begin_part(type);
    char chunk[16384];
    ssize_t got = ssize_t(sizeof chunk);
    while (ok && got == ssize_t(sizeof chunk)) {
        got = read_fully(descriptor.get(), chunk, sizeof chunk);
        if (got < 0) {
            report_error("cannot read script " + path + ": " + std::strerror(errno));
            ok = false;
        } else {
            ok = output.write(chunk, std::size_t(got));
        }
    }
    return ok && output.end_part();
}

// The header parts of a package or a bundle, in the order readers take them.
bool write_relations(container_writer& output, const package_manifest& package)
{
    if (!package.architecture.empty() && !write_text_part(output, PART_ARCHITECTURE, package.architecture))
        return false;
    if (!package.dependencies.empty() && !write_name_list(output, PART_DEPENDENCIES, package.dependencies))
        return false;
    if (!package.provides.empty() && !write_name_list(output, PART_PROVIDES, package.provides))
        return false;
    return package.conflicts.empty() || write_name_list(output, PART_CONFLICTS, package.conflicts);
}

bool write_one_package(container_writer& output, const package_manifest& package, const build_options& options,
                       const output_identity& identity)
{
    if (!write_header_part(output, PART_PACKAGE, package))
        return false;
    if (package.has_description && !write_text_part(output, PART_DESCRIPTION, package.description))
        return false;
    if (!write_relations(output, package))
        return false;
    if (!package.install_script.empty() && !write_script_part(output, PART_INSTALL_SCRIPT, package.install_script))
        return false;
    if (!package.uninstall_script.empty() &&
        !write_script_part(output, PART_UNINSTALL_SCRIPT, package.uninstall_script))
        return false;
    return package.tree.empty() || write_file_data(output, package.tree, options, identity.device, identity.inode);
}

bool write_contents(container_writer& output, const manifest& description, const build_options& options,
                    const output_identity& identity)
{
    if (description.is_bundle) {
        if (!write_header_part(output, PART_BUNDLE, description.bundle) || !write_relations(output, description.bundle))
            return false;
        if (!description.bundle_names.empty()) {
            std::vector<dependency_entry> names;
            for (const auto& name : description.bundle_names)
                names.push_back(dependency_entry{name, 0, 0, 0});
            if (!write_name_list(output, PART_BUNDLE_NAMES, names))
                return false;
        }
    }
    for (const auto& package : description.packages)
        if (!write_one_package(output, package, options, identity))
            return false;
    return true;
}

}  // namespace

bool write_package(const manifest& description, const std::string& output_path, const build_options& options)
{
    container_writer output;
    if (!output.open(output_path, description.nodb ? PACKAGE_MAGIC_NODB : PACKAGE_MAGIC)) {
        output.finish();
        return false;
    }
    bool ok = true;
    output_identity identity;
    struct stat status;
    if (stat(output_path.c_str(), &status) == 0) {
        identity.device = status.st_dev;
        identity.inode = status.st_ino;
    }
    ok = write_contents(output, description, options, identity);
    ok = output.finish() && ok;
    // A half-written package must not be mistaken for a package.
    if (!ok)
        ::unlink(output_path.c_str());
    return ok;
}
