#include "installer/query/file_places.h"

#include "installer/database/package_database.h"

file_places places_of(const installed_package& package, const std::string& recorded)
{
    std::string area = disabled_area(package);
    file_places places{recorded, recorded, {}};
    if (!package.disabled) {
        places.other = area + recorded;
    } else if (recorded.size() > area.size() && recorded.compare(0, area.size(), area) == 0 &&
               recorded[area.size()] == '/') {
        places.path = recorded.substr(area.size());
        places.other = places.path;
    }
    return places;
}
