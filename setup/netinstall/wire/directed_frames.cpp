#include "setup/netinstall/wire/directed_frames.h"

#include <arpa/inet.h>
#include <cstring>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <sys/socket.h>
#include <unistd.h>

#include "setup/netinstall/wire/udp_transport.h"

namespace {

constexpr size_t IP_HEADER_SIZE = 20;
constexpr size_t UDP_HEADER_SIZE = 8;
constexpr size_t ETHERNET_PAYLOAD = 1500;
constexpr uint8_t UDP_PROTOCOL = 17;
constexpr uint8_t TIME_TO_LIVE = 64;
constexpr uint16_t DONT_FRAGMENT = 0x4000;

// Internet headers are big-endian.
void put_be16(uint8_t* at, uint16_t value)
{
    at[0] = static_cast<uint8_t>(value >> 8);
    at[1] = static_cast<uint8_t>(value & 0xFF);
}

uint32_t add_words(uint32_t sum, const uint8_t* bytes, size_t length)
{
    for (size_t i = 0; i + 1 < length; i += 2)
        sum += static_cast<uint32_t>(bytes[i] << 8 | bytes[i + 1]);
    if (length % 2 != 0)
        sum += static_cast<uint32_t>(bytes[length - 1] << 8);
    return sum;
}

uint16_t fold(uint32_t sum)
{
    while (sum >> 16 != 0)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint16_t>(~sum & 0xFFFF);
}

}  // namespace

bool open_frame_sender(frame_sender& sender, const net_endpoint& endpoint)
{
    char name[IFNAMSIZ + 1] = {};
    socklen_t size = IFNAMSIZ;
    if (getsockopt(endpoint.socket, SOL_SOCKET, SO_BINDTODEVICE, name, &size) != 0)
        return false;
    sender.interface_index = static_cast<int>(if_nametoindex(name));
    if (sender.interface_index == 0)
        return false;
    // Protocol 0: this socket only sends, so no frame is ever queued on it.
    sender.socket = socket(AF_PACKET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    return sender.socket >= 0;
}

void close_frame_sender(frame_sender& sender)
{
    if (sender.socket >= 0)
        close(sender.socket);
    sender.socket = -1;
}

long send_directed(frame_sender& sender, net_endpoint& endpoint, const mac_address& station, const uint8_t* bytes,
                   size_t length)
{
    if (sender.socket < 0 || IP_HEADER_SIZE + UDP_HEADER_SIZE + length > ETHERNET_PAYLOAD)
        return send_message(endpoint, bytes, length);
    uint8_t packet[ETHERNET_PAYLOAD] = {};
    uint8_t* ip = packet;
    uint8_t* udp = packet + IP_HEADER_SIZE;
    size_t udp_length = UDP_HEADER_SIZE + length;
    ip[0] = 0x45;
    put_be16(ip + 2, static_cast<uint16_t>(IP_HEADER_SIZE + udp_length));
    put_be16(ip + 6, DONT_FRAGMENT);
    ip[8] = TIME_TO_LIVE;
    ip[9] = UDP_PROTOCOL;
    // From 0.0.0.0, as the kernel sends it for a socket on an interface without an address.
    std::memset(ip + 16, 0xFF, 4);
    put_be16(ip + 10, fold(add_words(0, ip, IP_HEADER_SIZE)));
    put_be16(udp, INSTALL_PORT);
    put_be16(udp + 2, INSTALL_PORT);
    put_be16(udp + 4, static_cast<uint16_t>(udp_length));
    std::memcpy(udp + UDP_HEADER_SIZE, bytes, length);
    uint8_t pseudo[12] = {};
    std::memcpy(pseudo, ip + 12, 8);
    pseudo[9] = UDP_PROTOCOL;
    put_be16(pseudo + 10, static_cast<uint16_t>(udp_length));
    uint16_t checksum = fold(add_words(add_words(0, pseudo, sizeof pseudo), udp, udp_length));
    put_be16(udp + 6, checksum == 0 ? 0xFFFF : checksum);

    sockaddr_ll to{};
    to.sll_family = AF_PACKET;
    to.sll_protocol = htons(ETH_P_IP);
    to.sll_ifindex = sender.interface_index;
    to.sll_halen = static_cast<unsigned char>(station.size());
    std::memcpy(to.sll_addr, station.data(), station.size());
    ssize_t sent = sendto(sender.socket, packet, IP_HEADER_SIZE + udp_length, 0, reinterpret_cast<sockaddr*>(&to),
                          sizeof to);
    if (sent < 0)
        return send_message(endpoint, bytes, length);
    return static_cast<long>(length);
}

bool acknowledge_directed(frame_sender& sender, net_endpoint& endpoint, const conversation& conv)
{
    uint8_t message[HEADER_SIZE] = {};
    build_header(conv, message, 0, true, KIND_CONTROL);
    return send_directed(sender, endpoint, conv.peer_mac, message, sizeof message) == static_cast<long>(sizeof message);
}
