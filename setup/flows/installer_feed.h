#pragma once

#include <cstddef>
#include <cstdio>

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
    write_failed,  // installer took the bytes only in part
};

// One installer run for one package file: starts installer, copies exactly the file's size into it
// and waits for it. Installer's own verdict is its own to report; only the feed counts here.
feed_status feed_package_file(const char* path);

// Writes the bytes into the pipe in pieces of at most FEED_PIECE_SIZE; false as soon as the pipe
// takes a piece only in part or not at all.
bool feed_bytes(FILE* pipe, const unsigned char* data, size_t size);
