#include "installer/apply/postlog.h"

#include <fcntl.h>
#include <fstream>
#include <string>
#include <unistd.h>

#include "common/file_descriptor.h"

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
    owned_descriptor file(open(POSTLOG_PATH, O_WRONLY | O_CREAT | O_TRUNC, 0666));
    if (!file.valid())
        return;
    if (!context.message_log.empty())
        sync();
    std::string text;
    for (const std::string& message : context.message_log)
        text += message + "\n";
    write_fully(file.get(), text.data(), text.size());
}
