#include "setup/flows/router_selection.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/select.h>
#include <unistd.h>
#include <vector>

#include "setup/flows/batch_progress.h"
#include "setup/netinstall/protocol/configuration_script.h"
#include "setup/netinstall/protocol/protocol_messages.h"
#include "setup/netinstall/roles/server_session.h"
#include "setup/netinstall/wire/udp_transport.h"
#include "setup/tui/key_input.h"
#include "setup/tui/screen_output.h"
#include "setup/tui/text_field.h"

namespace {

constexpr int LIST_ROW = 5;
constexpr int FIRST_ENTRY_ROW = LIST_ROW + 2;
// Entries fill the rows down to the one above the last two.
constexpr size_t VISIBLE_ENTRIES = 17;
constexpr int BOTTOM_ROW = 25;
constexpr size_t NUMBER_FIELD_SIZE = 10;
// Announcements beyond this are dropped: a flood of invented addresses must not eat the memory.
constexpr size_t MAX_ROUTERS = 1000;

// What the screen shows of the list. Each row is written only when its text changes, so that a busy
// segment does not send the whole list to a serial console for every router heard.
struct list_view {
    explicit list_view(install_server& shown) : server(shown) {}
    install_server& server;
    size_t top = 0;  // the entry on the first entry row
    std::string count_line;
    std::string rows[VISIBLE_ENTRIES];
    bool reverse[VISIBLE_ENTRIES] = {};
};

void show_row(int row, const std::string& text, bool reverse)
{
    move_cursor(0, row);
    set_attributes(0);
    clear_line();
    if (reverse)
        set_attributes(ATTRIBUTE_REVERSE);
    std::fputs(text.c_str(), stdout);
    set_attributes(0);
}

// Scrolls so that the current entry is on the screen.
void follow_current(list_view& view)
{
    const install_server& server = view.server;
    if (!server.has_current)
        return;
    if (server.current < view.top)
        view.top = server.current;
    else if (server.current >= view.top + VISIBLE_ENTRIES)
        view.top = server.current - VISIBLE_ENTRIES + 1;
}

void draw_list(list_view& view)
{
    const install_server& server = view.server;
    follow_current(view);
    size_t count = server.routers.size();
    std::string count_line;
    if (count != 0) {
        char text[64];
        std::snprintf(text, sizeof text, "Found %zu %s: ", count, count == 1 ? "router" : "routers");
        count_line = text;
    }
    if (count_line != view.count_line) {
        show_row(LIST_ROW, count_line, false);
        view.count_line = count_line;
    }
    for (size_t row = 0; row < VISIBLE_ENTRIES; ++row) {
        size_t index = view.top + row;
        std::string text;
        bool reverse = false;
        if (index < count) {
            char mac[18];
            format_mac(server.routers[index].mac, mac);
            text = std::string(server.routers[index].marked ? "*" : " ") + mac + "(" +
                   server.routers[index].label + ") ";
            reverse = server.has_current && index == server.current;
        }
        if (text == view.rows[row] && reverse == view.reverse[row])
            continue;
        show_row(FIRST_ENTRY_ROW + static_cast<int>(row), text, reverse);
        view.rows[row] = text;
        view.reverse[row] = reverse;
    }
    // What comes after the list (the questions on the chosen router) starts below it.
    size_t shown = std::min(VISIBLE_ENTRIES, count - view.top);
    move_cursor(0, count == 0 ? LIST_ROW : FIRST_ENTRY_ROW + static_cast<int>(shown));
    std::fflush(stdout);
}

void previous_entry(list_view& view)
{
    install_server& server = view.server;
    if (!server.has_current || server.current == 0)
        return;
    --server.current;
    draw_list(view);
}

void next_entry(list_view& view)
{
    install_server& server = view.server;
    if (!server.has_current)
        return;
    if (server.current + 1 < server.routers.size())
        ++server.current;
    draw_list(view);
}

// Handles one key; true when the screen ends.
bool handle_key(list_view& view)
{
    install_server& server = view.server;
    int key = read_key();
    if (key == KEY_ESCAPE) {
        key = read_key();
        if (key == '[') {
            key = read_key();
            if (key == 'A') {
                previous_entry(view);
                return false;
            }
            if (key == 'B') {
                next_entry(view);
                return false;
            }
        }
    }
    switch (key) {
    case 'p':
    case 'P':
        previous_entry(view);
        return false;
    case 'n':
    case 'N':
        next_entry(view);
        return false;
    case ' ':
        if (server.has_current) {
            server.routers[server.current].marked = !server.routers[server.current].marked;
            draw_list(view);
        }
        return false;
    case 'a':
    case 'A':
        for (router_entry& router : server.routers)
            router.marked = true;
        draw_list(view);
        return false;
    case KEY_ENTER:
        return server.has_current;
    case 'q':
    case 'Q':
        move_cursor(0, BOTTOM_ROW);
        server.has_current = false;
        return true;
    default:
        // With the console gone nobody can choose: leave as "q" would.
        if (key == KEY_END_OF_INPUT && input_ended()) {
            server.has_current = false;
            return true;
        }
        return false;
    }
}

void take_announcement(list_view& view, size_t index, const uint8_t* message, size_t length)
{
    install_server& server = view.server;
    message_header header = read_header(message);
    for (const router_entry& router : server.routers) {
        if (router.mac == header.source)
            return;
    }
    if (server.routers.size() >= MAX_ROUTERS)
        return;
    if (header.destination != NO_MAC || header.acknowledgement != 0 || header.kind != KIND_CONTROL)
        return;
    discovery_lines lines;
    if (!parse_discovery(message + HEADER_SIZE, length - HEADER_SIZE, lines))
        return;
    router_entry router;
    router.endpoint = index;
    router.mac = header.source;
    router.reserved_first = lines.reserved_first;
    router.reserved_second = lines.reserved_second;
    router.label = lines.label;
    server.routers.push_front(router);
    if (server.has_current)
        ++server.current;
    else
        server.has_current = true;
    // A list scrolled away from its top stays where it is; at the top the newcomer shows.
    if (view.top != 0)
        ++view.top;
    draw_list(view);
}

// Asks for a number until one is given; Enter alone takes the default.
unsigned long ask_number(const char* label, const char* default_text)
{
    for (;;) {
        char text[NUMBER_FIELD_SIZE];
        edit_field(label, default_text, text, sizeof text);
        std::putchar('\n');
        char* end = nullptr;
        errno = 0;
        unsigned long value = std::strtoul(text, &end, 10);
        if (end != text && value != ULONG_MAX)
            return value;
        if (input_ended())
            return 0;
    }
}

// What the configuration script of a router that does not keep its own is made from.
struct network_settings {
    uint32_t address = 0;
    unsigned long prefix_bits = 0;
    uint32_t gateway = 0;
    unsigned long baud_rate = 0;
};

network_settings ask_network_settings()
{
    network_settings settings;
    settings.address = read_address("Enter routers IP address", 0);
    std::putchar('\n');
    settings.prefix_bits = ask_number("Enter routers netmask bit count", "24");
    settings.gateway = read_address("Enter routers default gateway address", 0);
    std::putchar('\n');
    settings.baud_rate = ask_number("Enter serial console baud rate", "9600");
    return settings;
}

}  // namespace

bool select_router(install_server& server)
{
    server.conv.peer_mac = NO_MAC;
    clear_screen();
    print_wrapped("Select router using 'p' and 'n' or arrow keys. Press 'enter' to proceed or 'q' to return",
                  false);
    size_t count = server.interfaces.endpoints.size();
    std::printf("\nLooking for routers on %zu %s...\n", count, count == 1 ? "interface" : "interfaces");
    list_view view(server);
    draw_list(view);
    uint8_t message[MAX_DATAGRAM];
    for (;;) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(STDIN_FILENO, &readable);
        int highest = STDIN_FILENO;
        for (const net_endpoint& endpoint : server.interfaces.endpoints) {
            FD_SET(endpoint.socket, &readable);
            highest = std::max(highest, endpoint.socket);
        }
        std::fflush(stdout);
        if (select(highest + 1, &readable, nullptr, nullptr, nullptr) < 0) {
            if (errno == EINTR)
                continue;  // a finished child or a timer, not a failure of the screen
            return false;
        }
        if (FD_ISSET(STDIN_FILENO, &readable) && handle_key(view))
            return server.has_current;
        for (size_t i = 0; i < server.interfaces.endpoints.size(); ++i) {
            net_endpoint& endpoint = server.interfaces.endpoints[i];
            if (!FD_ISSET(endpoint.socket, &readable))
                continue;
            long got = receive_datagram(endpoint, message);
            if (got <= 0)
                continue;
            conversation_restart(server.conv);
            server.conv.own_mac = endpoint.mac;
            if (accept_message(server.conv, message, static_cast<size_t>(got)))
                take_announcement(view, i, message, static_cast<size_t>(got));
        }
    }
}

bool install_selected_router(install_server& server, const std::vector<std::string>& paths)
{
    const router_entry router = server.routers[server.current];
    std::puts("\n");
    bool keep = ask_yes_no_visible("Keep config?");
    std::string script;
    if (!keep) {
        network_settings settings = ask_network_settings();
        script = build_configuration(router.mac, settings.address, settings.prefix_bits, settings.gateway,
                                     settings.baud_rate);
    }
    return run_server_session(server, router, paths, keep, script);
}

batch_outcome install_marked_routers(install_server& server, const std::vector<std::string>& paths)
{
    std::vector<batch_member> members;
    for (const router_entry& router : server.routers) {
        if (router.marked) {
            batch_member member;
            member.router = router;
            members.push_back(member);
        }
    }
    std::puts("\n");
    bool keep = ask_yes_no_visible("Keep config?");
    if (!keep) {
        network_settings settings = ask_network_settings();
        uint32_t address = settings.address;
        // Routers get consecutive addresses in list order; none when none was given.
        clear_screen();
        std::puts("Installation plan:\n");
        uint32_t next = ntohl(address);
        for (batch_member& member : members) {
            uint32_t own = address == 0 ? 0 : htonl(next++);
            member.configuration = build_configuration(member.router.mac, own, settings.prefix_bits, settings.gateway,
                                                       settings.baud_rate);
            char mac[18];
            format_mac(member.router.mac, mac);
            char dotted[INET_ADDRSTRLEN] = "none";
            in_addr value{};
            value.s_addr = own;
            if (own != 0)
                inet_ntop(AF_INET, &value, dotted, sizeof dotted);
            std::printf("%s(%s) %s\n", mac, member.router.label.c_str(), dotted);
        }
        std::putchar('\n');
        if (!ask_yes_no_visible("Install these routers?"))
            return batch_outcome::back;
    }
    batch_screen screen;
    batch_screen_init(screen, members);
    bool key_read = false;
    std::vector<batch_status> statuses;
    struct capture {
        batch_screen* screen;
        std::vector<batch_status>* statuses;
    } seen{&screen, &statuses};
    bool installed = run_batch_session(
        server, members, paths, keep,
        [](const std::vector<batch_status>& now, bool waiting, void* context) {
            capture& into = *static_cast<capture*>(context);
            *into.statuses = now;
            show_batch(now, waiting, into.screen);
        },
        &seen, key_read);
    show_batch_result(screen, statuses);
    // A failure's reason stays on the screen until it has been read.
    if (!installed && !key_read) {
        std::puts("(press any key)");
        std::fflush(stdout);
        read_key();
    }
    return installed ? batch_outcome::installed : batch_outcome::failed;
}
