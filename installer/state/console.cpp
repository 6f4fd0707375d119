#include "installer/state/console.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

void write_text(run_context& context, const std::string& text)
{
    std::fwrite(text.data(), 1, text.size(), context.console);
}

void show_message(run_context& context, const char* prefix, const char* format, va_list arguments)
{
    char body[MESSAGE_BODY_SIZE];
    std::vsnprintf(body, sizeof body, format, arguments);
    if (context.quiet)
        return;
    std::string message = std::string(prefix) + body;
    bool progress_shown = !context.progress_line.empty();
    if (progress_shown)
        clear_console_line(context);
    write_text(context, message + "\n");
    std::fflush(context.console);
    if (progress_shown) {
        write_text(context, context.progress_line);
        std::fflush(context.console);
    }
    context.message_log.push_back(std::move(message));
}

}  // namespace

void clear_console_line(run_context& context)
{
    write_text(context, "\r" + std::string(CONSOLE_LINE_WIDTH, ' ') + "\r");
    std::fflush(context.console);
}

void set_progress_line(run_context& context, const std::string& text)
{
    if (context.quiet || text == context.progress_line)
        return;
    std::string out = "\x1b[?25l\r" + text;
    if (context.progress_line.size() > text.size())
        out.append(context.progress_line.size() - text.size(), ' ');
    out += "\r\x1b[?25h";
    write_text(context, out);
    std::fflush(context.console);
    context.progress_line = text;
}

void show_error(run_context& context, const char* format, ...)
{
    set_progress_line(context, "");
    va_list arguments;
    va_start(arguments, format);
    show_message(context, "ERROR: ", format, arguments);
    va_end(arguments);
}

void show_warning(run_context& context, const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    show_message(context, "WARNING: ", format, arguments);
    va_end(arguments);
}

void show_notice(run_context& context, const char* format, ...)
{
    set_progress_line(context, "");
    va_list arguments;
    va_start(arguments, format);
    show_message(context, "", format, arguments);
    va_end(arguments);
}

std::string failure_label(const installed_package& package)
{
    if (package.bundle.name.empty())
        return package.label();
    return bundle_label(package.bundle.name, package.bundle.minimum);
}

void report_create_failure(run_context& context, const installed_package& package, const std::string& name)
{
    int error = errno;
    std::string label = failure_label(package);
    if (error == ENOSPC)
        show_error(context, "installation of %s failed: disk is too small", label.c_str());
    else if (error == EIO)
        show_error(context, "installation of %s failed: disk error", label.c_str());
    else
        show_error(context, "installation of %s failed: could not create %s: %s", label.c_str(), name.c_str(),
                   std::strerror(error));
}

void report_broken_package(run_context& context, const installed_package& package)
{
    show_error(context, "installation of %s failed: broken package", failure_label(package).c_str());
}
