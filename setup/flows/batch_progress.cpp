#include "setup/flows/batch_progress.h"

#include <algorithm>
#include <cstdio>

#include "setup/netinstall/wire/network_interfaces.h"
#include "setup/tui/screen_output.h"

namespace {

constexpr int FIRST_ROW = 2;
// Rows below the routers' lines: the prompt and the result.
constexpr int LAST_ROUTER_ROW = 21;
constexpr size_t SHOWN_ROUTERS = LAST_ROUTER_ROW - FIRST_ROW + 1;

std::string row_text(const std::string& label, const batch_status& status)
{
    std::string text = label + " ";
    if (status.transferred)
        return text + "installed";
    if (status.finished)
        return text + "failed: " + status.reason;
    if (status.file.empty())
        return text + "offering";
    text += status.file;
    if (status.size > 0) {
        char share[16];
        std::snprintf(share, sizeof share, " %d%%", static_cast<int>(status.sent * 100 / status.size));
        text += share;
    }
    return text;
}

int prompt_row(const batch_screen& screen)
{
    return FIRST_ROW + static_cast<int>(std::min(screen.labels.size(), SHOWN_ROUTERS)) + 1;
}

}  // namespace

void batch_screen_init(batch_screen& screen, const std::vector<batch_member>& members)
{
    screen.labels.clear();
    for (const batch_member& member : members) {
        char mac[18];
        format_mac(member.router.mac, mac);
        screen.labels.push_back(std::string(mac) + "(" + member.router.label + ")");
    }
    screen.rows.assign(members.size(), std::string());
    screen.prompted = false;
    clear_screen();
    std::printf("Installing %zu routers\n", members.size());
    std::fflush(stdout);
}

void show_batch(const std::vector<batch_status>& statuses, bool waiting_for_key, void* context)
{
    batch_screen& screen = *static_cast<batch_screen*>(context);
    size_t shown = std::min(statuses.size(), SHOWN_ROUTERS);
    for (size_t i = 0; i < shown; ++i) {
        std::string text = row_text(screen.labels[i], statuses[i]);
        // Only a changed line is written again: a serial console is slow.
        if (text == screen.rows[i])
            continue;
        move_cursor(0, FIRST_ROW + static_cast<int>(i));
        clear_line();
        std::fputs(text.c_str(), stdout);
        screen.rows[i] = text;
    }
    if (statuses.size() > shown) {
        size_t done = 0;
        for (size_t i = shown; i < statuses.size(); ++i)
            done += statuses[i].transferred || statuses[i].finished;
        move_cursor(0, FIRST_ROW + static_cast<int>(shown));
        clear_line();
        std::printf("and %zu more routers, %zu of them done", statuses.size() - shown, done);
    }
    if (waiting_for_key && !screen.prompted) {
        move_cursor(0, prompt_row(screen));
        std::fputs("Press ENTER on each router to reboot it, or any key here to end", stdout);
        screen.prompted = true;
    }
    std::fflush(stdout);
}

void show_batch_result(const batch_screen& screen, const std::vector<batch_status>& statuses)
{
    move_cursor(0, prompt_row(screen) + 1);
    size_t installed = 0;
    for (const batch_status& status : statuses)
        installed += status.transferred;
    std::printf("\nSoftware installed on %zu of %zu routers.\n", installed, statuses.size());
    std::fflush(stdout);
}
