#pragma once

// Sends one file to the router: its FILE announcement, then its data in acknowledged blocks, one in
// flight at a time, each repeated with a growing wait when its acknowledgement doesn't come.

#include <cstdint>
#include <string>

#include "setup/netinstall/wire/conversation.h"
#include "setup/netinstall/wire/network_interfaces.h"

// After a failure the conversation's own sequence is the number of the next message to send, so
// that the router accepts a TERM that follows.
enum class transfer_result {
    sent,
    failed,   // reported here
    stopped,  // the router sent TERM (acknowledged here); the caller says so
};

// A package file from disk.
transfer_result send_file(net_endpoint& endpoint, conversation& conv, const std::string& path);
// The configuration script from memory, as the file "autorun.scr".
transfer_result send_text(net_endpoint& endpoint, conversation& conv, const std::string& text);
