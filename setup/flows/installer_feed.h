#pragma once

#include <cstddef>
#include <cstdio>

// Package bytes go to installer in pieces no larger than this.
constexpr size_t FEED_PIECE_SIZE = 4096;

// Starts "/sbin/installer -r /mnt -" with its standard input on a pipe, its messages on our console.
// Null when it can't be started; the caller closes the stream with close_pipe.
FILE* start_package_installer();

// Writes the bytes into the pipe in pieces of at most FEED_PIECE_SIZE; false as soon as the pipe
// takes a piece only in part or not at all.
bool feed_bytes(FILE* pipe, const unsigned char* data, size_t size);
