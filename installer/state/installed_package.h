#pragma once
#include <cstdint>
#include <string>

#include "common/package_header.h"
#include "installer/state/file_set.h"

// An installed package: the header fields it was installed with, the files it placed, the bundle it
// came with, whether it is disabled (its files moved aside to "/x/NAME") and the action scheduled
// for it. The database loads one record per directory under /var/pdb/ and writes it back; the
// run context's installed array owns every record of a run. A record without a name is a
// hold-back record: it only conflicts with a package a bundle lists, and is never written.

enum scheduled_action : std::int32_t {
    ACTION_NONE = 0,
    ACTION_UNINSTALL = 1,
    ACTION_ENABLE = 2,
    ACTION_DISABLE = 3,
};

class installed_package : public package_header {
public:
    file_set files;                    // absolute paths, byte-wise order; empty for a bundle record
    dependency_entry bundle;           // the bundle it came from; empty name: none
    bool disabled = false;
    std::int32_t action = ACTION_NONE; // a scheduled_action
};
