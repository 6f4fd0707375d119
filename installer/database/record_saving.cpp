#include "installer/database/record_saving.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "common/file_descriptor.h"
#include "installer/database/atomic_file.h"
#include "installer/database/package_database.h"
#include "installer/state/console.h"

namespace {

std::string format_entries(const std::vector<dependency_entry>& entries, bool with_extra)
{
    std::string text;
    for (const dependency_entry& entry : entries) {
        text += entry.name + ' ' + std::to_string(entry.minimum) + ' ' + std::to_string(entry.maximum);
        if (with_extra)
            text += ' ' + std::to_string(entry.extra);
        text += '\n';
    }
    return text;
}

bool write_labelled(run_context& context, const installed_package& record, const std::string& file_name,
                    const std::string& content)
{
    if (write_file_atomically(record_directory(record) + file_name, content))
        return true;
    report_create_failure(context, record, "meta/" + file_name);
    return false;
}

// A list that is empty now must not leave the entries of an earlier save behind.
bool write_optional_list(run_context& context, const installed_package& record, const std::string& file_name,
                         const std::vector<dependency_entry>& entries, bool with_extra)
{
    if (entries.empty()) {
        ::unlink((record_directory(record) + file_name).c_str());
        return true;
    }
    return write_labelled(context, record, file_name, format_entries(entries, with_extra));
}

}  // namespace

bool ensure_record_directory(run_context& context, installed_package& record)
{
    std::string directory = record_directory(record);
    struct stat status;
    if (::stat(directory.c_str(), &status) == 0)
        return true;
    if (::mkdir(directory.c_str(), 0770) == 0)
        return true;
    report_create_failure(context, record, "meta");
    return false;
}

bool save_record(run_context& context, installed_package& record)
{
    // The version is written last: until it is there the record reads as damaged, so a power cut
    // in the middle never leaves what looks like a complete record, or a bundle record where the
    // file list was still missing.
    std::string directory = record_directory(record);
    if (!save_file_list(context, record))
        return false;
    if (!write_labelled(context, record, "deps", format_entries(record.dependencies, false)))
        return false;
    if (!write_optional_list(context, record, "provides", record.provides, true))
        return false;
    if (!write_optional_list(context, record, "conflicts", record.conflicts, false))
        return false;

    if (record.bundle.name.empty())
        ::unlink((directory + "bundle").c_str());
    else if (!write_labelled(context, record, "bundle", record.bundle.name + '\n'))
        return false;

    std::string disabled_path = directory + "disabled";
    if (record.disabled) {
        owned_descriptor marker(::open(disabled_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    } else {
        ::unlink(disabled_path.c_str());
    }

    std::string version_line = std::to_string(record.version) + ' ' + std::to_string(record.build_time) + '\n';
    return write_labelled(context, record, "version", version_line);
}

bool save_file_list(run_context& context, installed_package& record)
{
    if (record.is_bundle)
        return true;
    // Written in pieces: the list of a large package is as big as its set, and holding it twice
    // would double what installing it costs.
    auto write_list = [&record](int descriptor) {
        std::string chunk;
        constexpr std::size_t CHUNK_SIZE = 65536;
        chunk.reserve(CHUNK_SIZE + 4096);
        for (std::string_view path : record.files) {
            if (path.empty())
                continue;
            chunk.append(path.substr(path[0] == '/' ? 1 : 0));
            chunk += '\n';
            if (chunk.size() >= CHUNK_SIZE) {
                if (!write_fully(descriptor, chunk.data(), chunk.size()))
                    return false;
                chunk.clear();
            }
        }
        return write_fully(descriptor, chunk.data(), chunk.size());
    };
    if (write_file_atomically(record_directory(record) + "files", write_list))
        return true;
    report_create_failure(context, record, "meta/files");
    return false;
}
