#include <fstream>

#include "common/part_reader.h"
#include "installer/package/repository_package.h"

bool read_file_summary(const std::string& path, repository_package& record)
{
    record.path = path;
    if (path.empty())
        return false;
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    part_reader reader(file);
    record.file_size = reader.total_file_length();
    record.is_nodb = reader.is_nodb();
    std::uint64_t size = 0;
    if (!file_length_agrees(path, reader.total_file_length(), size))
        return false;
    for (std::int32_t type : {PART_BUNDLE, PART_PACKAGE, PART_ARCHITECTURE, PART_DEPENDENCIES, PART_PROVIDES, PART_CONFLICTS})
        reader.accept(type);
    reader.next_part();
    if (!read_header(reader, record))
        return false;
    if (!record.is_bundle)
        return true;
    while (reader.current_type() == PART_PACKAGE) {
        auto member = std::make_unique<package_header>();
        if (!read_header(reader, *member))
            return false;
        record.contained_packages.push_back(std::move(member));
    }
    return !record.contained_packages.empty();
}
