#pragma once

#include <cstdio>
#include <sys/types.h>

// Where background programs write their output and errors: "/dev/tty9", or "/dev/null" on a
// serial console. The start-up code may overwrite it; it always holds a terminated path.
constexpr size_t LOG_DEVICE_SIZE = 16;
extern char log_device[LOG_DEVICE_SIZE];

// The one child currently connected through a pipe, or -1.
extern pid_t pipe_child;

// The path, up to this many arguments and the terminating null make one argument vector.
constexpr int MAX_PROGRAM_ARGUMENTS = 14;

// Null-terminated lists for load_modules.
extern const char* const base_modules[];
extern const char* const network_modules[];

// Runs the program (optionally inside the root directory `root`, which is then also its working
// directory) with the arguments that follow, ended by a null, and waits for it. The child reads
// /dev/null and writes everything to the log device. Returns the raw wait status (exit status 127
// when the program could not be started), or -1 when the fork or the wait failed or there are too
// many arguments.
int run_program(const char* root, const char* path, ...);

// The same with a ready argument vector: arguments[0] is the path, the vector ends with a null.
int run_program_vector(const char* root, const char* const* arguments);

// Starts the program with its standard output on a pipe and returns the reading end; null when a
// piped child exists already or the program could not be started.
FILE* pipe_from(const char* path, ...);

// Starts the program with its standard input on a pipe and returns the writing end. An argument
// ">null" anywhere in the list is left out and sends the child's output and errors to the log device;
// otherwise they go to our console.
FILE* pipe_to(const char* path, ...);

// Closes the stream of the current piped child and waits for the child. Returns its raw wait status,
// or -1.
int close_pipe(FILE* stream);

// Runs "/sbin/insmod NAME" for each name of the null-terminated list, ignoring the results.
void load_modules(const char* const* modules);
