#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

// Package bytes go to installer in pieces no larger than this.
constexpr size_t FEED_PIECE_SIZE = 4096;

// Starts "/sbin/installer -r /mnt -" with its standard input on a pipe, its messages on our console.
// Null when it can't be started; the caller closes the stream with close_pipe.
FILE* start_package_installer();

// How feeding one package file went.
enum class feed_status {
    done,
    cannot_start,  // installer could not be started
    no_size,       // the file's size could not be found
    read_failed,   // the file could not be opened or read to its size
    write_failed,  // installer took the bytes only in part: it gave up on the package
    not_installed, // installer took the whole file and failed
};

// One installer run for one package file: starts installer, copies exactly the file's size into it
// and waits for its verdict. Installer names its own error on the console.
feed_status feed_package_file(const char* path);

// Waits for the installer run on `pipe` (closing it); true when it installed its package.
bool finish_package_installer(FILE* pipe);

// The name a package goes by on the screen: the path after its last "/".
std::string package_file_name(const std::string& path);

// The flow's last word on packages that were not installed: "\nFATAL ERROR: not installed: " and
// their names, without what a terminal would act on. False, with that printed, when there are any.
bool all_installed(const std::vector<std::string>& failed);

// Writes the bytes into the pipe in pieces of at most FEED_PIECE_SIZE; false as soon as the pipe
// takes a piece only in part or not at all.
bool feed_bytes(FILE* pipe, const unsigned char* data, size_t size);
