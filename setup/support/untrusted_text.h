#pragma once

// Texts that come from outside (a peer on the network, a package file on a medium), made safe to
// show or to use as a file name.

#include <string>
#include <string_view>

// The text without control characters and without terminal escape sequences, so that whoever wrote
// it can't move our cursor, clear our screen or reprogram our terminal.
std::string printable_text(std::string_view text);

// True for a name that names a file directly inside one directory: not empty, not "." or "..", no
// "/" and nothing that printable_text would drop.
bool plain_base_name(std::string_view name);
