#include "installer/apply/package_file_installation.h"

#include "common/part_reader.h"
#include "installer/apply/bundle_installation.h"

namespace {

constexpr std::int32_t STREAM_PART_TYPES[] = {
    PART_PACKAGE, PART_BUNDLE,   PART_BUNDLE_NAMES,   PART_ARCHITECTURE,     PART_DEPENDENCIES,
    PART_PROVIDES, PART_CONFLICTS, PART_FILES, PART_INSTALL_SCRIPT, PART_UNINSTALL_SCRIPT,
};

}  // namespace

install_result install_package_file(run_context& context, std::istream& stream, unsigned flags,
                                   const previous_states& previous)
{
    part_reader reader(stream);
    for (std::int32_t type : STREAM_PART_TYPES)
        reader.accept(type);
    if (reader.next_part() == PART_BUNDLE)
        return install_bundle(context, reader, flags, previous);
    return install_single(context, reader, flags, previous, nullptr) ? INSTALL_DONE : INSTALL_FAILED;
}
