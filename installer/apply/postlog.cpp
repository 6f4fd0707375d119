#include "installer/apply/postlog.h"

#include <fcntl.h>
#include <fstream>
#include <string>
#include <unistd.h>

void load_postlog(run_context& context)
{
    {
        std::ifstream old_log(POSTLOG_PATH);
        std::string line;
        while (std::getline(old_log, line)) {
            if (old_log.eof())
                break;  // an unterminated last line is not a complete message
            context.message_log.push_back(line);
        }
    }
    // Claiming the space now means the log of this run still fits when the disk fills up.
    std::ofstream reserved(POSTLOG_PATH, std::ios::binary | std::ios::trunc);
    static const char zeros[4096] = {};
    reserved.write(zeros, sizeof zeros);
}

void write_postlog(run_context& context)
{
    int fd = open(POSTLOG_PATH, O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (fd < 0)
        return;
    if (!context.message_log.empty())
        sync();
    std::string text;
    for (const std::string& message : context.message_log)
        text += message + "\n";
    const char* data = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        ssize_t written = write(fd, data, left);
        if (written <= 0)
            break;
        data += written;
        left -= std::size_t(written);
    }
    close(fd);
}
