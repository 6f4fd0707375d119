#include "installer/apply/landing_guard.h"

#include <climits>
#include <cstdlib>

#include "installer/database/package_database.h"
#include "installer/package/canonical_path.h"

landing_guard::landing_guard()
{
    for (const std::string& place : {canonical_path(DATABASE_DIRECTORY), std::string(DISABLED_AREA_ROOT)}) {
        forbidden_.push_back(place);
        std::string real;
        // A link to the root itself would forbid every path; it is a misconfiguration, not a route.
        if (resolve_directory(place, real) && real != place && real != "/")
            forbidden_.push_back(real);
    }
}

bool landing_guard::may_land(const std::string& path) const
{
    for (const std::string& place : forbidden_)
        if (is_within(path, place))
            return false;
    return true;
}

bool landing_guard::resolve_directory(const std::string& path, std::string& resolved) const
{
    char buffer[PATH_MAX];
    if (::realpath(path.c_str(), buffer) == nullptr)
        return false;
    resolved = buffer;
    return true;
}
