#include "installer/apply/postlog.h"

#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Only a regular file of its own is the log: a link would have the log overwrite whatever it
// leads to (a database record), a FIFO would stop the run, a second hard link would carry the
// log into another file. Anything else at the name is left alone and not written.
int open_postlog(int flags)
{
    int fd = open(POSTLOG_PATH, flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0)
        return -1;
    struct stat status;
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        close(fd);
        return -1;
    }
    if ((flags & O_WRONLY) && status.st_nlink > 1) {
        // Our own name is replaced by a fresh file; the other names keep their content.
        close(fd);
        unlink(POSTLOG_PATH);
        fd = open(POSTLOG_PATH, flags | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    }
    return fd;
}

bool write_all(int fd, const char* data, std::size_t left)
{
    while (left > 0) {
        ssize_t written = write(fd, data, left);
        if (written <= 0)
            return false;
        data += written;
        left -= std::size_t(written);
    }
    return true;
}

// Overwrites in place and cuts the rest off afterwards, so that space reserved earlier is reused
// on a full disk instead of being given back first.
void replace_content(int fd, const std::string& text)
{
    if (write_all(fd, text.data(), text.size()))
        (void)!ftruncate(fd, off_t(text.size()));
    close(fd);
}

}  // namespace

void load_postlog(run_context& context)
{
    int in = open_postlog(O_RDONLY);
    if (in >= 0) {
        std::string content;
        char buffer[4096];
        ssize_t got;
        while ((got = read(in, buffer, sizeof buffer)) > 0)
            content.append(buffer, std::size_t(got));
        close(in);
        // An unterminated last line is not a complete message.
        std::size_t start = 0;
        for (std::size_t end; (end = content.find('\n', start)) != std::string::npos; start = end + 1)
            context.message_log.push_back(content.substr(start, end - start));
    }
    // Claiming the space now means the log of this run still fits when the disk fills up.
    int out = open_postlog(O_WRONLY | O_CREAT);
    if (out >= 0)
        replace_content(out, std::string(4096, '\0'));
}

void write_postlog(run_context& context)
{
    int fd = open_postlog(O_WRONLY | O_CREAT);
    if (fd < 0)
        return;
    if (!context.message_log.empty())
        sync();
    std::string text;
    for (const std::string& message : context.message_log)
        text += message + "\n";
    replace_content(fd, text);
}
