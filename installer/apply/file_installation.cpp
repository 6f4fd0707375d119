#include "installer/apply/file_installation.h"

#include <cerrno>
#include <fcntl.h>
#include <istream>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>
#include <utility>
#include <vector>

#include "common/file_descriptor.h"
#include "common/file_record.h"
#include "common/inflate_stream.h"
#include "common/part_reader.h"
#include "installer/apply/install_progress.h"
#include "installer/apply/landing_guard.h"
#include "installer/apply/package_directories.h"
#include "installer/apply/path_safety.h"
#include "installer/database/file_owner_index.h"
#include "installer/database/package_database.h"
#include "installer/package/canonical_path.h"
#include "installer/state/console.h"

namespace {

enum class step { next, failed };

struct installation {
    run_context& context;
    installed_package& package;
    part_reader& reader;
    std::istream& data;
    bool overwrite_in_the_way;
    std::string area;              // "/x/NAME" for a disabled package, empty otherwise
    std::string last_parent;       // the last parent made under the area
    int parent_fault = 0;          // why that parent cannot hold the record (an errno); 0: it can
    std::vector<std::pair<std::string, std::uint32_t>> directory_times;
    std::vector<std::string>& created_directories;
    std::string resolved_for;      // the live parent last resolved, and where it really is
    std::string resolved_parent;
    landing_guard guard;
    // Built at the first file in the way; the installed records do not change meanwhile.
    std::optional<file_owner_index> owners;
};

void set_times(const std::string& path, std::uint32_t mtime)
{
    utimbuf times{time_t(mtime), time_t(mtime)};
    utime(path.c_str(), &times);
}

step broken(installation& job)
{
    report_broken_package(job.context, job.package);
    return step::failed;
}

step create_failed(installation& job, const file_record& record)
{
    report_create_failure(job.context, job.package, record.stored_name());
    return step::failed;
}

step write_regular_file(installation& job, const file_record& record, const std::string& target)
{
    // Whatever stood at the target was removed; one planted meanwhile is not followed.
    owned_descriptor file(open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666));
    if (!file.valid())
        return create_failed(job, record);
    job.package.files.insert(target);
    static char chunk[CONTENT_CHUNK_SIZE];
    std::uint32_t left = record.content_size;
    while (left > 0) {
        std::streamsize want = left < CONTENT_CHUNK_SIZE ? std::streamsize(left) : std::streamsize(CONTENT_CHUNK_SIZE);
        if (!job.data.read(chunk, want))
            return broken(job);
        // The report reads errno before the descriptor is closed on the way out.
        if (!write_fully(file.get(), chunk, std::size_t(want)))
            return create_failed(job, record);
        left -= std::uint32_t(want);
    }
    if (!file.close_checked())
        return create_failed(job, record);
    return step::next;
}

step create_object(installation& job, const file_record& record, const std::string& target)
{
    mode_t mode = record.mode & 0xFFFF;
    switch (record.type()) {
    case TYPE_SYMLINK: {
        std::string link_target;
        if (!read_link_target(job.data, record, link_target))
            return broken(job);
        if (symlink(link_target.c_str(), target.c_str()) != 0)
            return create_failed(job, record);
        job.resolved_for.clear();  // the link may stand in a path already resolved
        job.package.files.insert(target);
        return step::next;
    }
    case TYPE_REGULAR:
        return write_regular_file(job, record, target);
    case TYPE_DIRECTORY:
        if (!skip_content(job.data, record))
            return broken(job);
        if (mkdir(target.c_str(), mode) != 0)
            return create_failed(job, record);
        job.directory_times.emplace_back(target, record.mtime);
        job.created_directories.push_back(target);
        // An earlier record of the package may have put a file here; the list must say what is
        // on disk, or uninstalling would leave the directory listed and behind.
        job.package.files.erase(target);
        return step::next;
    case TYPE_CHAR_DEVICE:
    case TYPE_BLOCK_DEVICE: {
        std::uint32_t device = 0;
        if (record.content_size != 4 || !read_device_number(job.data, device))
            return broken(job);
        if (mknod(target.c_str(), mode, dev_t(device)) != 0)
            return create_failed(job, record);
        job.package.files.insert(target);
        return step::next;
    }
    case TYPE_FIFO:
        if (!skip_content(job.data, record))
            return broken(job);
        if (mkfifo(target.c_str(), mode) != 0)
            return create_failed(job, record);
        job.package.files.insert(target);
        return step::next;
    default:
        return broken(job);
    }
}

void set_attributes(const file_record& record, const std::string& target)
{
    if (record.type() == TYPE_SYMLINK) {
        (void)!lchown(target.c_str(), record.uid, record.gid);
        return;
    }
    (void)!chown(target.c_str(), record.uid, record.gid);
    chmod(target.c_str(), record.mode & 0xFFFF);
    set_times(target, record.mtime);
}

// What is already at the target decides whether the record is installed: an existing
// directory is kept as it is, another package's file is left alone, anything else goes.
enum class clearance { install, skip };

clearance clear_target(installation& job, const file_record& record, const std::string& target)
{
    struct stat existing;
    if (lstat(target.c_str(), &existing) != 0)
        return clearance::install;
    if (S_ISDIR(existing.st_mode) && record.type() == TYPE_DIRECTORY)
        return clearance::skip;
    job.resolved_for.clear();  // what goes may have been a link on a resolved path
    if (job.overwrite_in_the_way) {
        unlink(target.c_str());
        return clearance::install;
    }
    if (!job.owners)
        job.owners.emplace(job.context);
    std::string owner(job.owners->owner_of(target));
    if (owner.empty()) {
        show_warning(job.context, "ghost file %s", target.c_str());
        unlink(target.c_str());
        return clearance::install;
    }
    show_warning(job.context, "file %s collides with %s package", target.c_str(), owner.c_str());
    return clearance::skip;
}

// Where a live target really lands once the links in its parent are followed: the owner check and
// the file set must name that place, and it must not be the database or the disabled area.
bool resolve_live_target(installation& job, std::string& target)
{
    std::string parent = parent_directory(target);
    if (parent != job.resolved_for) {
        job.resolved_for.clear();
        if (!job.guard.resolve_directory(parent, job.resolved_parent))
            job.resolved_parent = parent;  // missing: creating in it fails and is reported
        else
            job.resolved_for = parent;
    }
    if (job.resolved_parent != parent)
        target = (job.resolved_parent == "/" ? std::string() : job.resolved_parent) + target.substr(parent.size() == 1 ? 0 : parent.size());
    return job.guard.may_land(target);
}

step install_record(installation& job, const file_record& record)
{
    if (!is_safe_record_path(record.path))
        return broken(job);
    std::string path = is_canonical(record.path) ? record.path : canonical_path(record.path);
    // Nothing a package carries may reach the database or the disabled area, whatever its state.
    if ((path == "/" && record.type() != TYPE_DIRECTORY) || !job.guard.may_land(path))
        return broken(job);
    std::string target = job.area + path;
    if (job.area.empty()) {
        if (path != "/" && !resolve_live_target(job, target))
            return broken(job);
    } else {
        // The area has none of the live tree's directories; give a record the parents it does not
        // carry itself. A directory link the package carries (or one left in the way) would take
        // the file, and the parents made for it, out of the area into the live tree the disabled
        // package must not touch: what exists is looked at before anything is made.
        std::string parent = parent_directory(target);
        if (parent != job.last_parent) {
            job.last_parent = parent;
            job.parent_fault = directory_path_fault(parent, false);
            if (job.parent_fault == 0 && !make_directories(parent))
                job.parent_fault = errno;
            if (job.parent_fault == 0)
                job.parent_fault = directory_path_fault(parent, true);
        }
        if (job.parent_fault != 0) {
            errno = job.parent_fault;
            return create_failed(job, record);
        }
    }
    switch (clear_target(job, record, target)) {
    case clearance::skip:
        return skip_content(job.data, record) ? step::next : broken(job);
    case clearance::install:
        break;
    }
    if (create_object(job, record, target) == step::failed)
        return step::failed;
    set_attributes(record, target);
    show_install_progress(job.context, job.package, job.reader);
    return step::next;
}

}  // namespace

bool install_files(run_context& context, installed_package& package, part_reader& reader,
                   bool overwrite_in_the_way, std::vector<std::string>& created_directories)
{
    inflate_stream inflater(reader.rdbuf());
    std::istream data(&inflater);
    installation job{context, package, reader, data, overwrite_in_the_way, {}, {}, 0, {}, created_directories, {}, {}, {}, {}};
    if (package.disabled) {
        job.area = disabled_area(package);
        make_directories(job.area);
        make_directories(job.area + "/var/pdb/" + package.name);
    }
    for (;;) {
        file_record record;
        record_status status = read_file_record(data, record);
        if (status == record_status::end && !inflater.corrupt())
            break;
        if (status != record_status::ok)
            return broken(job) == step::next;
        if (install_record(job, record) == step::failed)
            return false;
    }
    for (const auto& [path, mtime] : job.directory_times)
        set_times(path, mtime);
    return true;
}
