#include "setup/support/untrusted_text.h"

namespace {

constexpr unsigned char ESCAPE = 0x1B;
constexpr unsigned char DELETE = 0x7F;

// C0 and C1 controls and DEL: a console acts on every one of them (0x9B alone starts a sequence).
bool is_control(unsigned char c)
{
    return c < 0x20 || c == DELETE || (c >= 0x80 && c < 0xA0);
}

bool ends_control_sequence(unsigned char c)
{
    return c >= 0x40 && c <= 0x7E;
}

}  // namespace

std::string printable_text(std::string_view text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == ESCAPE && i + 1 < text.size()) {
            // The byte after it goes too, and after "[" everything up to the final byte.
            unsigned char next = static_cast<unsigned char>(text[++i]);
            if (next == '[') {
                while (i + 1 < text.size() && !ends_control_sequence(static_cast<unsigned char>(text[i + 1])))
                    ++i;
                ++i;
            }
            continue;
        }
        if (!is_control(c))
            out.push_back(static_cast<char>(c));
    }
    return out;
}

bool plain_base_name(std::string_view name)
{
    if (name.empty() || name == "." || name == "..")
        return false;
    if (name.find('/') != std::string_view::npos)
        return false;
    return printable_text(name) == name;
}
