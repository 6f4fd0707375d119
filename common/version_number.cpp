#include "common/version_number.h"

#include <cstdio>

const char* version_text(version_number version)
{
    static char text[80];
    unsigned major = version >> 24;
    unsigned minor = (version >> 16) & 0xff;
    unsigned stage = (version >> 8) & 0xff;
    unsigned build = version & 0xff;
    if (stage == 'f') {
        if (build == 0)
            std::snprintf(text, sizeof text, "%u.%u", major, minor);
        else
            std::snprintf(text, sizeof text, "%u.%u.%u", major, minor, build);
        return text;
    }
    const char* word = stage == 'a' ? "alpha" : stage == 'b' ? "beta" : stage == 'c' ? "rc" : "";
    if (build == 0)
        std::snprintf(text, sizeof text, "%u.%u%s", major, minor, word);
    else
        std::snprintf(text, sizeof text, "%u.%u%s%u", major, minor, word, build);
    return text;
}

std::string package_label(const std::string& name, version_number version)
{
    return name + "-" + version_text(version);
}

std::string bundle_label(const std::string& name, version_number version)
{
    return version == 0 ? name : package_label(name, version);
}

int compare_versions(version_number a, version_number b)
{
    return a < b ? -1 : a > b ? 1 : 0;
}
