#pragma once
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

// A temporary router root. The database lives at the absolute "/var/pdb/", so code under test
// runs in a child process that has changed its root to this directory.
class database_root {
public:
    database_root()
    {
        char pattern[] = "/tmp/database_root_XXXXXX";
        path_ = ::mkdtemp(pattern);
        std::filesystem::create_directories(path_ / "var" / "pdb");
    }
    ~database_root() { std::filesystem::remove_all(path_); }
    database_root(const database_root&) = delete;
    database_root& operator=(const database_root&) = delete;

    std::filesystem::path record(const std::string& name) const { return path_ / "var" / "pdb" / name; }

    void write_record(const std::string& name, const std::map<std::string, std::string>& files) const
    {
        std::filesystem::create_directories(record(name));
        for (const auto& [file, content] : files)
            std::ofstream(record(name) / file) << content;
    }

    // Runs the action inside the root and returns the text it produced; "child failed" when the
    // child could not enter the root or died.
    std::string run(const std::function<std::string()>& action) const
    {
        int channel[2];
        if (::pipe(channel) != 0)
            return "pipe failed";
        pid_t child = ::fork();
        if (child == 0) {
            ::close(channel[0]);
            if (::chroot(path_.c_str()) != 0 || ::chdir("/") != 0)
                ::_exit(1);
            std::string text = action();
            std::size_t done = 0;
            while (done < text.size()) {
                ssize_t written = ::write(channel[1], text.data() + done, text.size() - done);
                if (written <= 0)
                    ::_exit(1);
                done += static_cast<std::size_t>(written);
            }
            ::_exit(0);
        }
        ::close(channel[1]);
        std::string text;
        char buffer[4096];
        ssize_t got;
        while ((got = ::read(channel[0], buffer, sizeof buffer)) > 0)
            text.append(buffer, static_cast<std::size_t>(got));
        ::close(channel[0]);
        int status = 0;
        ::waitpid(child, &status, 0);
        return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? text : "child failed";
    }

private:
    std::filesystem::path path_;
};

inline std::string read_text(const std::filesystem::path& path)
{
    std::ifstream file(path);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}
