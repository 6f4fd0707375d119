#include "setup/netinstall/wire/network_interfaces.h"

#include <arpa/inet.h>
#include <cstdio>
#include <cstring>
#include <linux/filter.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int QUERY_PROTOCOL = 250;
constexpr short UP_FLAGS = IFF_UP | IFF_RUNNING | IFF_PROMISC;
constexpr int DEVICE_LIST_HEADING_LINES = 2;

bool name_request(ifreq& request, const char* interface_name)
{
    std::memset(&request, 0, sizeof request);
    if (std::strlen(interface_name) >= sizeof request.ifr_name)
        return false;
    std::memcpy(request.ifr_name, interface_name, std::strlen(interface_name) + 1);
    return true;
}

// The interface name of one line of the device list: its first word, cut at the ":".
bool device_name(const char* line, char* name, size_t size)
{
    while (*line == ' ' || *line == '\t')
        ++line;
    size_t length = std::strcspn(line, ": \t\n");
    if (length == 0 || length >= size)
        return false;
    std::memcpy(name, line, length);
    name[length] = '\0';
    return true;
}

bool gives_address(const net_endpoint& endpoint, const char* name)
{
    ifreq request;
    if (!name_request(request, name))
        return false;
    if (ioctl(endpoint.socket, SIOCGIFADDR, &request) == 0)
        return true;
    // Without an address the interface takes none: broadcasts need no more.
    name_request(request, name);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_addr.s_addr = htonl(INADDR_ANY);
    std::memcpy(&request.ifr_addr, &any, sizeof any);
    return ioctl(endpoint.socket, SIOCSIFADDR, &request) == 0;
}

// Every broadcast we send is also looped back to our own socket. Those copies would be read and
// dropped one by one (their source is our own MAC), costing a wake-up and two system calls per
// message on both sides of a transfer; the kernel drops them instead. Without the filter the copies
// are still dropped by the conversation, only slower, so a failure to attach it is not an error.
void ignore_own_broadcasts(int socket)
{
    sock_filter code[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, static_cast<uint32_t>(SKF_AD_OFF + SKF_AD_PKTTYPE)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, PACKET_LOOPBACK, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, 0),
        BPF_STMT(BPF_RET | BPF_K, 0xFFFFFFFF),
    };
    sock_fprog program{};
    program.len = static_cast<unsigned short>(sizeof code / sizeof code[0]);
    program.filter = code;
    setsockopt(socket, SOL_SOCKET, SO_ATTACH_FILTER, &program, sizeof program);
}

}  // namespace

bool open_endpoint(net_endpoint& endpoint, const char* interface_name, uint16_t port)
{
    endpoint.socket = socket(AF_INET, SOCK_DGRAM, 0);
    if (endpoint.socket < 0)
        return false;
    int on = 1;
    if (setsockopt(endpoint.socket, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0)
        return false;
    if (setsockopt(endpoint.socket, SOL_SOCKET, SO_BINDTODEVICE, interface_name,
                   static_cast<socklen_t>(std::strlen(interface_name) + 1)) != 0)
        return false;
    ifreq request;
    if (!name_request(request, interface_name) || ioctl(endpoint.socket, SIOCGIFFLAGS, &request) != 0)
        return false;
    request.ifr_flags = static_cast<short>(request.ifr_flags | UP_FLAGS);
    if (ioctl(endpoint.socket, SIOCSIFFLAGS, &request) != 0)
        return false;
    if (!gives_address(endpoint, interface_name))
        return false;
    ignore_own_broadcasts(endpoint.socket);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = htons(port);
    if (bind(endpoint.socket, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0)
        return false;
    endpoint.destination = sockaddr_in{};
    endpoint.destination.sin_family = AF_INET;
    endpoint.destination.sin_addr.s_addr = htonl(INADDR_BROADCAST);
    endpoint.destination.sin_port = htons(port);
    return true;
}

void open_interfaces(interface_set& set)
{
    close_interfaces(set);
    FILE* devices = std::fopen("/proc/net/dev", "r");
    if (devices == nullptr)
        return;
    int query = socket(AF_INET, SOCK_RAW, QUERY_PROTOCOL);
    if (query < 0) {
        std::fclose(devices);
        return;
    }
    char line[512];
    int line_number = 0;
    bool scan_failed = false;
    while (std::fgets(line, sizeof line, devices) != nullptr) {
        if (line_number++ < DEVICE_LIST_HEADING_LINES)
            continue;
        char name[IFNAMSIZ];
        ifreq request;
        if (!device_name(line, name, sizeof name) || !name_request(request, name))
            continue;
        if (ioctl(query, SIOCGIFHWADDR, &request) != 0) {
            scan_failed = true;
            break;
        }
        net_endpoint endpoint;
        std::memcpy(endpoint.mac.data(), request.ifr_hwaddr.sa_data, endpoint.mac.size());
        if (endpoint.mac == NO_MAC)
            continue;
        if (!open_endpoint(endpoint, name, INSTALL_PORT)) {
            if (endpoint.socket >= 0)
                close(endpoint.socket);
            continue;
        }
        set.endpoints.push_back(endpoint);
    }
    close(query);
    std::fclose(devices);
    if (scan_failed)
        close_interfaces(set);
}

void close_interfaces(interface_set& set)
{
    for (net_endpoint& endpoint : set.endpoints) {
        if (endpoint.socket >= 0)
            close(endpoint.socket);
    }
    set.endpoints.clear();
}

bool has_interfaces(const interface_set& set)
{
    return !set.endpoints.empty();
}

void format_mac(const mac_address& mac, char* out)
{
    std::snprintf(out, 18, "%02X:%02X:%02X:%02X:%02X:%02X", mac[0], mac[1], mac[2], mac[3], mac[4],
                  mac[5]);
}

const char* interface_mac_text(const interface_set& set, size_t index)
{
    static char text[18];
    if (index >= set.endpoints.size())
        return nullptr;
    format_mac(set.endpoints[index].mac, text);
    return text;
}
