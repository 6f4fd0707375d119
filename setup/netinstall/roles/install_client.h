#pragma once

// The router's side of the installation protocol. An install_client owns its interfaces and the
// one conversation with the server; once an offer has been accepted it is bound to the endpoint on
// which the server answered and receives files through its file_receiver.

#include <cstddef>
#include <cstdint>
#include <string>

#include "setup/netinstall/wire/conversation.h"
#include "setup/netinstall/wire/directed_frames.h"
#include "setup/netinstall/wire/network_interfaces.h"

struct file_receiver {
    std::string name;
    int64_t size = 0;
    size_t block_length = 0;   // payload bytes of the block in hand
    int64_t delivered = 0;     // bytes of the file handed to the caller
    size_t position = 0;       // read position in the block
    bool message_pending = false;  // `message` holds an accepted message not yet looked at
    uint8_t message[MAX_DATAGRAM] = {};
};

struct install_client {
    interface_set interfaces;
    conversation conv;
    net_endpoint* server = nullptr;  // the endpoint the server answered on
    frame_sender frames;             // acknowledgements to the server alone, once it is known
    file_receiver receiver;
};

void client_init(install_client& client);
void client_release(install_client& client);

// Announces the router with `label` until a server offers an installation and our acceptance is
// acknowledged; `keep` then tells whether the router keeps its configuration. Fails when an
// announcement can't be sent or no interface is open; the interfaces are then scanned afresh.
bool find_server(install_client& client, const char* label, bool& keep);
bool request_start(install_client& client);
// The next file's name and size; false (and the server is told TERM) when none came, or one whose
// name is longer than name_size - 1 characters.
bool next_file(install_client& client, std::string& name, size_t name_size, int64_t& size);
// Ends the conversation from our side with TERM, when we can't go on: a refusal after the offer
// was accepted, or a failed package.
void stop_server(install_client& client);
// Up to `wanted` bytes of the current file; 0 at its end, -1 when the data stops.
long read_file_data(install_client& client, uint8_t* buffer, size_t wanted);
// Waits for the server's TERM, or sends our own when `input` (the keyboard) has something to read
// first (what it has stays unread) or the server sends anything but a repeat or TERM.
void finish_client(install_client& client, int input);
