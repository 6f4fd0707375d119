// The router's side of a network installation: announce ourselves, let the server decide, prepare
// our own disk and install what the server sends.
#include "setup/flows/network_installation.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

#include "setup/disk/floppy_label.h"
#include "setup/flows/installer_feed.h"
#include "setup/flows/shared_screens.h"
#include "setup/flows/target_disk.h"
#include "setup/netinstall/protocol/protocol_messages.h"
#include "setup/netinstall/roles/install_client.h"
#include "setup/support/process_runner.h"
#include "setup/support/untrusted_text.h"

namespace {

constexpr size_t LABEL_SIZE = 32;
// The whole name as sent: whether a file is a script is decided on all of it.
constexpr size_t NAME_SIZE = FILE_NAME_LIMIT + 1;
constexpr size_t SCRIPT_PATH_SIZE = sizeof "/mnt/" + FILE_NAME_LIMIT;
constexpr size_t PIECE_SIZE = 4096;
// installer's input is written in large chunks: every write wakes it, and on a busy machine each
// wake-up can cost the network side a scheduling delay per block.
constexpr size_t PIPE_BUFFER_SIZE = 64 * 1024;
constexpr const char* SCRIPT_SUFFIX = ".scr";

bool is_script(const std::string& name)
{
    size_t suffix = std::strlen(SCRIPT_SUFFIX);
    return name.size() > suffix && name.compare(name.size() - suffix, suffix, SCRIPT_SUFFIX) == 0;
}

// Where a file goes: the script file on the new system, or the input of one installer run.
struct file_target {
    bool script = false;
    FILE* stream = nullptr;
};

bool open_target(file_target& target, const std::string& name)
{
    target.script = is_script(name);
    if (target.script) {
        std::puts("Writing configuration...");
        // The name comes from the network: only a file directly in /mnt may be written.
        if (plain_base_name(name)) {
            char path[SCRIPT_PATH_SIZE];
            std::snprintf(path, sizeof path, "/mnt/%s", name.c_str());
            target.stream = std::fopen(path, "w");
        }
        if (target.stream == nullptr) {
            std::puts("\nFATAL ERROR: couldn't make script");
            return false;
        }
        return true;
    }
    target.stream = pipe_to("/sbin/installer", "-r", "/mnt", "-", nullptr);
    if (target.stream == nullptr) {
        std::puts("\nFATAL ERROR: couldn't start install");
        return false;
    }
    // The C library would ignore the size without a buffer of ours and keep its default of one page.
    // One installer input is open at a time, so one buffer serves them all.
    static char buffer[PIPE_BUFFER_SIZE];
    setvbuf(target.stream, buffer, _IOFBF, sizeof buffer);
    return true;
}

// Closes the target; false when a package's installer run failed.
bool close_target(file_target& target)
{
    bool closed = true;
    if (target.script)
        std::fclose(target.stream);
    else
        closed = finish_package_installer(target.stream);
    target.stream = nullptr;
    return closed;
}

// A package not installed ends the installation: the server is told, so that it stops sending.
void report_not_installed(install_client& client, const std::string& name)
{
    all_installed({name});
    std::fflush(stdout);
    stop_server(client);
}

void report_write_failure(install_client& client, file_target& target, const std::string& name)
{
    if (target.script)
        std::printf("\nFATAL ERROR: installation failed: %s\n", std::strerror(errno));
    else
        std::puts("");
    close_target(target);
    if (!target.script)
        report_not_installed(client, name);
}

// Copies the current file from the network into its target and closes it; false (reported) when
// the data stops, can't be written, or installer fails the package.
bool copy_file(install_client& client, file_target& target, const std::string& name)
{
    static uint8_t piece[PIECE_SIZE];
    for (;;) {
        long got = read_file_data(client, piece, sizeof piece);
        if (got < 0) {
            close_target(target);
            std::puts("\nFATAL ERROR: bad network connection");
            return false;
        }
        if (got == 0) {
            // What the stream still holds must reach its target before the file counts as written.
            if (std::fflush(target.stream) != 0) {
                report_write_failure(client, target, name);
                return false;
            }
            if (!close_target(target)) {
                report_not_installed(client, name);
                return false;
            }
            return true;
        }
        if (std::fwrite(piece, 1, static_cast<size_t>(got), target.stream) != static_cast<size_t>(got)) {
            report_write_failure(client, target, name);
            return false;
        }
    }
}

// Receives files until the script has arrived or the server announces an empty script. The script
// comes last: files that stop coming before it leave the installation unfinished.
bool receive_files(install_client& client)
{
    for (;;) {
        std::string name;
        int64_t size = 0;
        if (!next_file(client, name, NAME_SIZE, size)) {
            std::puts("\nFATAL ERROR: bad network connection");
            return false;
        }
        if (size == 0) {
            // An empty script means the router keeps its configuration, and the script comes last.
            // An empty package has nothing to install; later files still come.
            if (is_script(name))
                return true;
            continue;
        }
        file_target target;
        if (!open_target(target, name))
            return false;
        if (!copy_file(client, target, name))
            return false;
        if (target.script)
            return true;
    }
}

void wait_for_server(install_client& client, const char* label, bool& keep)
{
    for (;;) {
        std::puts("");
        std::puts("Waiting for installation server...");
        std::fflush(stdout);
        if (find_server(client, label, keep))
            return;
        std::puts("");
        std::puts("Couldn't find any installation server on network");
        std::fflush(stdout);
        // Sending fails at once while a link is down; don't spin on it.
        sleep(1);
    }
}

bool install_from_server(setup_context& context, install_client& client)
{
    if (!find_target_disk(context))
        return false;
    char label[LABEL_SIZE];
    read_floppy_label(label, sizeof label);
    std::puts("");
    for (size_t i = 0; i < client.interfaces.endpoints.size(); ++i)
        std::printf("mac-address: %s\n", interface_mac_text(client.interfaces, i));
    std::printf("disk label: %s\n", label);

    bool keep = false;
    wait_for_server(client, label, keep);
    char server_mac[18];
    format_mac(client.conv.peer_mac, server_mac);
    std::printf("Found server at %s\n", server_mac);
    std::puts("");
    std::fflush(stdout);

    // Nobody answers questions at the router: the server decided, and a disk that can't be prepared
    // as it asked ends the installation on both sides.
    if (!prepare_target_disk(context, keep, false)) {
        stop_server(client);
        return false;
    }
    std::puts("");
    std::fflush(stdout);
    if (!request_start(client)) {
        std::puts("\nFATAL ERROR: server refused to install");
        return false;
    }
    if (!receive_files(client))
        return false;

    int marker = open("/mnt/CDINSTALL", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (marker >= 0)
        close(marker);
    finish_installation(context);
    installation_finished = 1;

    std::puts("");
    std::puts("Software installed.");
    std::puts("Press ENTER to reboot");
    std::fflush(stdout);
    finish_client(client, STDIN_FILENO);
    return true;
}

}  // namespace

bool network_installation(setup_context& context)
{
    show_welcome(context, "remote installation");
    load_modules(network_modules);
    install_client client;
    client_init(client);
    if (!has_interfaces(client.interfaces)) {
        std::puts("\nFATAL ERROR: no network card found");
        return false;
    }
    bool installed = install_from_server(context, client);
    client_release(client);
    return installed;
}
