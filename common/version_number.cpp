#include "common/version_number.h"

#include <cstdio>
#include <cstring>

namespace {

// The one table of release stages: the letter a packed version carries and the word its text shows.
// A final release ('f') shows no word.
struct stage_word {
    char stage;
    const char* word;
};
constexpr stage_word STAGE_WORDS[] = {{'a', "alpha"}, {'b', "beta"}, {'c', "rc"}};
constexpr char FINAL_STAGE = 'f';

const char* word_of_stage(unsigned stage)
{
    for (const auto& entry : STAGE_WORDS)
        if (static_cast<unsigned char>(entry.stage) == stage)
            return entry.word;
    return "";
}

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

bool take_stage_word(const std::string& text, std::size_t& at, char& stage)
{
    for (const auto& entry : STAGE_WORDS) {
        std::size_t length = std::strlen(entry.word);
        if (text.compare(at, length, entry.word) == 0) {
            stage = entry.stage;
            at += length;
            return true;
        }
    }
    return false;
}

}  // namespace

const char* version_text(version_number version)
{
    static char text[80];
    unsigned major = version >> 24;
    unsigned minor = (version >> 16) & 0xff;
    unsigned stage = (version >> 8) & 0xff;
    unsigned build = version & 0xff;
    if (stage == static_cast<unsigned char>(FINAL_STAGE)) {
        if (build == 0)
            std::snprintf(text, sizeof text, "%u.%u", major, minor);
        else
            std::snprintf(text, sizeof text, "%u.%u.%u", major, minor, build);
        return text;
    }
    const char* word = word_of_stage(stage);
    if (build == 0)
        std::snprintf(text, sizeof text, "%u.%u%s", major, minor, word);
    else
        std::snprintf(text, sizeof text, "%u.%u%s%u", major, minor, word, build);
    return text;
}

bool parse_version_text(const std::string& text, version_number& version)
{
    std::size_t at = 0;
    unsigned major = 0, minor = 0, build = 0;
    if (!take_number(text, at, major) || at >= text.size() || text[at] != '.')
        return false;
    ++at;
    if (!take_number(text, at, minor))
        return false;
    char stage = FINAL_STAGE;
    if (at < text.size() && text[at] == '.') {
        ++at;
        if (!take_number(text, at, build))
            return false;
    } else if (at < text.size()) {
        if (!take_stage_word(text, at, stage))
            return false;
        if (at < text.size() && !take_number(text, at, build))
            return false;
    }
    if (at != text.size())
        return false;
    version = make_version(major, minor, stage, build);
    return true;
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
