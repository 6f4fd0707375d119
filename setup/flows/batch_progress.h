#pragma once

// The screen of a batch installation: a line per router with the file being sent and its share
// done, then each router's result.

#include <string>
#include <vector>

#include "setup/netinstall/roles/batch_session.h"

struct batch_screen {
    std::vector<std::string> labels;  // "MAC(label)" per router, in batch order
    std::vector<std::string> rows;    // what each row shows now
    bool prompted = false;
};

void batch_screen_init(batch_screen& screen, const std::vector<batch_member>& members);
// A batch_observer; `context` is the batch_screen.
void show_batch(const std::vector<batch_status>& statuses, bool waiting_for_key, void* context);
// The closing lines once the batch has ended.
void show_batch_result(const batch_screen& screen, const std::vector<batch_status>& statuses);
