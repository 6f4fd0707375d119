#include "installer/apply/postlog.h"

#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "common/file_descriptor.h"

namespace {

// Only a regular file of its own is the log: a link would have the log overwrite whatever it
// leads to (a database record), a FIFO would stop the run, a second hard link would carry the
// log into another file. Anything else at the name is left alone and not written.
owned_descriptor open_postlog(int flags)
{
    owned_descriptor file(open(POSTLOG_PATH, flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666));
    if (!file.valid())
        return file;
    struct stat status;
    if (fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode))
        return owned_descriptor();
    if ((flags & O_WRONLY) && status.st_nlink > 1) {
        // Our own name is replaced by a fresh file; the other names keep their content.
        file.reset();
        unlink(POSTLOG_PATH);
        file.reset(open(POSTLOG_PATH, flags | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666));
    }
    return file;
}

// Overwrites in place and cuts the rest off afterwards, so that space reserved earlier is reused
// on a full disk instead of being given back first.
void replace_content(owned_descriptor& file, const std::string& text)
{
    if (write_fully(file.get(), text.data(), text.size()))
        (void)!ftruncate(file.get(), off_t(text.size()));
}

}  // namespace

void load_postlog(run_context& context)
{
    if (owned_descriptor in = open_postlog(O_RDONLY); in.valid()) {
        std::string content;
        char buffer[4096];
        ssize_t got;
        while ((got = read(in.get(), buffer, sizeof buffer)) > 0)
            content.append(buffer, std::size_t(got));
        // An unterminated last line is not a complete message.
        std::size_t start = 0;
        for (std::size_t end; (end = content.find('\n', start)) != std::string::npos; start = end + 1)
            context.message_log.push_back(content.substr(start, end - start));
    }
    // Claiming the space now means the log of this run still fits when the disk fills up.
    if (owned_descriptor out = open_postlog(O_WRONLY | O_CREAT); out.valid())
        replace_content(out, std::string(4096, '\0'));
}

void write_postlog(run_context& context)
{
    owned_descriptor file = open_postlog(O_WRONLY | O_CREAT);
    if (!file.valid())
        return;
    if (!context.message_log.empty())
        sync();
    std::string text;
    for (const std::string& message : context.message_log)
        text += message + "\n";
    replace_content(file, text);
}
