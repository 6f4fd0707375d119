#pragma once

#include <cstdio>
#include <string>

// The ordinal the prompt gives a floppy: "1st", "2nd", "3rd", and "%uth" for every other number
// (so "11th" and "21th" alike).
std::string floppy_ordinal(unsigned number);

// Asks for the floppy that holds part `part` (the first part is on the second floppy, after the
// boot floppy) until one is in the drive that carries the part file, and opens that file; the
// floppy stays mounted on "/floppy". A floppy without the file is the wrong one, and one whose file
// can't be opened for another reason is bad; either is asked for again. Null only when nobody is
// left to answer the prompt.
std::FILE* open_floppy_part(unsigned part);
