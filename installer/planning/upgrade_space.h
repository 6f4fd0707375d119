#pragma once
#include "installer/state/run_context.h"

class part_reader;

// An upgrade removes the old version before it writes the new one, so that it fits on a small
// disk. Whether the new version's content, read ahead in the file-data part, fits into what is
// free plus what removing the old version frees; reports the refusal. The reader stands on the
// first part after the candidate's header parts and is left exactly there. A stream that cannot
// seek (a pipe) is read into memory from here on for the rest of the run.
bool upgrade_fits(run_context& context, part_reader& reader, const installed_package& candidate,
                  const installed_package& old_version);
