#pragma once

#include <cstddef>

// The label of the boot floppy ("/floppy/label.txt" on a FAT floppy in "/dev/fd0"), with everything
// but letters, digits and punctuation dropped; "kestrova" when there is none. `buffer` holds `size`
// bytes and receives a terminated text.
void read_floppy_label(char* buffer, size_t size);
