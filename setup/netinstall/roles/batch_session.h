#pragma once

// The server's side of installing several routers at once. Each router has a conversation of its
// own (own sequence numbers, acknowledgements and repetition timing) with exactly the messages a
// single installation sends it; one loop over the interfaces' sockets drives them all, so a router
// that stops answering holds up nobody but itself.

#include <cstdint>
#include <string>
#include <vector>

#include "setup/netinstall/roles/install_server.h"

struct batch_member {
    router_entry router;
    std::string configuration;  // this router's own script; unused when the configuration is kept
};

// What the progress screen shows of one router.
struct batch_status {
    std::string file;        // the file being sent, empty before the first
    int64_t size = 0;
    int64_t sent = 0;
    bool transferred = false;  // every package and the script went across
    bool finished = false;     // nothing more happens in its conversation
    std::string reason;        // why it failed, when it did
};

// Called when a status changes (byte counts at most a few times a second) and once with
// `waiting_for_key` when every router has its files or has failed and some still have not said
// goodbye: a key then ends those conversations as it does after a single installation.
using batch_observer = void (*)(const std::vector<batch_status>& statuses, bool waiting_for_key,
                                void* context);

// `paths` are the package files in install order. True when every router took everything;
// `key_read` tells whether the user's key ended the last conversations.
bool run_batch_session(install_server& server, const std::vector<batch_member>& members,
                       const std::vector<std::string>& paths, bool keep, batch_observer observer,
                       void* context, bool& key_read);
