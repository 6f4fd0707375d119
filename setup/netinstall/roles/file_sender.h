#pragma once

// Sends one file to the router: its FILE announcement, then its data in acknowledged blocks, one in
// flight at a time, each repeated with a growing wait when its acknowledgement doesn't come.

#include <cstdint>
#include <string>

#include "setup/netinstall/wire/conversation.h"
#include "setup/netinstall/wire/directed_frames.h"
#include "setup/netinstall/wire/network_interfaces.h"
#include "setup/netinstall/wire/repeat_timer.h"

// After a failure the conversation's own sequence is the number of the next message to send, so
// that the router accepts a TERM that follows.
enum class transfer_result {
    sent,
    failed,   // reported here
    stopped,  // the router sent TERM (acknowledged here); the caller says so
};

// What carries the files of one conversation: the frames go to the router alone (a broadcast would
// reach every station of the segment, and come back to our own socket), and the timer keeps what
// the round trips showed from one file to the next.
struct sending_link {
    net_endpoint* endpoint = nullptr;
    conversation* conv = nullptr;
    frame_sender frames;
    repeat_timer timer;
};

// A package file from disk.
transfer_result send_file(sending_link& link, const std::string& path);
// The configuration script from memory, as the file "autorun.scr".
transfer_result send_text(sending_link& link, const std::string& text);
