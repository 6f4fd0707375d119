#include <cstring>

#include "tools/mkvrp/manifest.h"

namespace {

// A decimal number of 0-255 at text[at]; advances at past it.
bool take_number(const std::string& text, std::size_t& at, unsigned& value)
{
    std::size_t start = at;
    value = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
        value = value * 10 + unsigned(text[at] - '0');
        if (value > 255)
            return false;
        ++at;
    }
    return at > start;
}

}  // namespace

bool parse_version_text(const std::string& text, version_number& version)
{
    std::size_t at = 0;
    unsigned major = 0, minor = 0, build = 0;
    if (!take_number(text, at, major) || at >= text.size() || text[at] != '.')
        return false;
    ++at;
    if (!take_number(text, at, minor))
        return false;
    char stage = 'f';
    if (at < text.size() && text[at] == '.') {
        ++at;
        if (!take_number(text, at, build))
            return false;
    } else if (at < text.size()) {
        static const struct {
            const char* word;
            char stage;
        } stages[] = {{"alpha", 'a'}, {"beta", 'b'}, {"rc", 'c'}};
        bool matched = false;
        for (const auto& candidate : stages) {
            std::size_t length = std::strlen(candidate.word);
            if (text.compare(at, length, candidate.word) == 0) {
                stage = candidate.stage;
                at += length;
                matched = true;
                break;
            }
        }
        if (!matched)
            return false;
        if (at < text.size() && !take_number(text, at, build))
            return false;
    }
    if (at != text.size())
        return false;
    version = make_version(major, minor, stage, build);
    return true;
}

bool parse_version_bound(const std::string& text, version_number& version)
{
    if (text == "-" || text == "0") {
        version = 0;
        return true;
    }
    return parse_version_text(text, version);
}
