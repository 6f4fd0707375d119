#pragma once

// Runs toolkit code against a captured standard output and scripted standard input.

#include <cstdio>
#include <string>
#include <unistd.h>

// Redirects a descriptor (standard output unless told otherwise) into a temporary file until
// finish(), which returns what was written. Assertions must come after finish(): the test framework
// writes to standard output too.
class captured_output {
public:
    explicit captured_output(int fd = STDOUT_FILENO) : fd_(fd)
    {
        std::fflush(stdout);
        file_ = std::tmpfile();
        saved_ = dup(fd_);
        dup2(fileno(file_), fd_);
    }
    ~captured_output() { finish(); }

    std::string finish()
    {
        if (file_ == nullptr)
            return text_;
        std::fflush(stdout);
        dup2(saved_, fd_);
        close(saved_);
        std::rewind(file_);
        char buffer[4096];
        size_t got;
        while ((got = std::fread(buffer, 1, sizeof buffer, file_)) > 0)
            text_.append(buffer, got);
        std::fclose(file_);
        file_ = nullptr;
        return text_;
    }

private:
    int fd_;
    FILE* file_ = nullptr;
    int saved_ = -1;
    std::string text_;
};

// Puts the bytes on a pipe that stands in for descriptor 0; after them the input ends.
class scripted_input {
public:
    explicit scripted_input(const std::string& bytes)
    {
        int ends[2];
        if (pipe(ends) != 0)
            return;
        if (write(ends[1], bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
            bytes_lost_ = true;
        close(ends[1]);
        saved_ = dup(STDIN_FILENO);
        dup2(ends[0], STDIN_FILENO);
        close(ends[0]);
    }
    ~scripted_input()
    {
        if (saved_ >= 0) {
            dup2(saved_, STDIN_FILENO);
            close(saved_);
        }
    }
    bool bytes_lost() const { return bytes_lost_; }

private:
    int saved_ = -1;
    bool bytes_lost_ = false;
};

// Output of `action` with `input` as the keyboard.
template <typename action_type>
std::string conversation(const std::string& input, action_type action)
{
    scripted_input keys(input);
    captured_output screen;
    action();
    return screen.finish();
}
