#pragma once
#include <string>

#include "installer/state/run_context.h"

constexpr std::size_t MESSAGE_BODY_SIZE = 256;  // bodies are cut to 255 bytes
constexpr int CONSOLE_LINE_WIDTH = 79;

void show_error(run_context& context, const char* format, ...) __attribute__((format(printf, 2, 3)));
void show_warning(run_context& context, const char* format, ...) __attribute__((format(printf, 2, 3)));
void show_notice(run_context& context, const char* format, ...) __attribute__((format(printf, 2, 3)));

void set_progress_line(run_context& context, const std::string& text);
void clear_console_line(run_context& context);

// How failure messages name a package: a bundle member by its bundle.
std::string failure_label(const installed_package& package);

// Chooses the message from errno: a full disk, a disk error, or the failed item and error text.
void report_create_failure(run_context& context, const installed_package& package, const std::string& name);
void report_broken_package(run_context& context, const installed_package& package);
