#include "setup/netinstall/wire/udp_transport.h"

#include <arpa/inet.h>
#include <cerrno>
#include <sys/select.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <time.h>

namespace {

timeval as_timeval(int64_t microseconds)
{
    if (microseconds < 0)
        microseconds = 0;
    timeval limit{};
    limit.tv_sec = static_cast<time_t>(microseconds / ONE_SECOND_US);
    limit.tv_usec = static_cast<suseconds_t>(microseconds % ONE_SECOND_US);
    return limit;
}

}  // namespace

int64_t now_us()
{
    // Waits and round trips are differences: a clock that is set meanwhile must not stretch them.
    timespec now{};
    if (clock_gettime(CLOCK_MONOTONIC, &now) != 0)
        return 0;
    return static_cast<int64_t>(now.tv_sec) * ONE_SECOND_US + now.tv_nsec / 1000;
}

long send_message(net_endpoint& endpoint, const uint8_t* bytes, size_t length)
{
    return sendto(endpoint.socket, bytes, length, 0, reinterpret_cast<sockaddr*>(&endpoint.destination),
                  sizeof endpoint.destination);
}

bool send_or_lose(net_endpoint& endpoint, const uint8_t* bytes, size_t length)
{
    if (send_message(endpoint, bytes, length) == static_cast<long>(length))
        return true;
    // A firewall rule that drops the datagram, or a queue that is full for a moment, loses it as
    // the wire would; the attempt after it may pass. A card that is gone or down sends no more.
    return errno != ENODEV && errno != ENXIO && errno != ENETDOWN && errno != EBADF && errno != ENOTSOCK;
}

long receive_datagram(net_endpoint& endpoint, uint8_t* buffer)
{
    socklen_t size = sizeof endpoint.source;
    ssize_t got = recvfrom(endpoint.socket, buffer, MAX_DATAGRAM, 0,
                           reinterpret_cast<sockaddr*>(&endpoint.source), &size);
    if (got < 0 || endpoint.source.sin_port != htons(INSTALL_PORT))
        return -1;
    return got;
}

long wait_datagram(net_endpoint& endpoint, uint8_t* buffer, int64_t timeout_us)
{
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(endpoint.socket, &readable);
    timeval limit = as_timeval(timeout_us);
    if (select(endpoint.socket + 1, &readable, nullptr, nullptr, &limit) <= 0)
        return -1;
    return receive_datagram(endpoint, buffer);
}

bool datagram_waiting(const net_endpoint& endpoint)
{
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(endpoint.socket, &readable);
    timeval none{};
    return select(endpoint.socket + 1, &readable, nullptr, nullptr, &none) > 0;
}

long wait_datagram_or_input(net_endpoint& endpoint, uint8_t* buffer, int input)
{
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(endpoint.socket, &readable);
    FD_SET(input, &readable);
    int highest = endpoint.socket > input ? endpoint.socket : input;
    if (select(highest + 1, &readable, nullptr, nullptr, nullptr) < 0)
        return errno == EINTR ? WAIT_INTERRUPTED : WAIT_FAILED;
    if (FD_ISSET(input, &readable))
        return WAIT_INPUT;
    return receive_datagram(endpoint, buffer);
}

long wait_reply(net_endpoint& endpoint, conversation& conv, uint8_t* buffer, int64_t timeout_us)
{
    int64_t deadline = now_us() + timeout_us;
    int64_t left = timeout_us;
    for (;;) {
        long got = wait_datagram(endpoint, buffer, left);
        if (got >= 0 && accept_message(conv, buffer, static_cast<size_t>(got))) {
            message_header header = read_header(buffer);
            if (!(header.flags & FLAG_ACK) || header.acknowledgement == conv.own_sequence)
                return got;
        }
        left = deadline - now_us();
        if (left <= 0)
            return -1;
    }
}

long exchange(net_endpoint& endpoint, conversation& conv, const uint8_t* message, size_t length,
              uint8_t* reply_buffer, int64_t timeout_us, int attempts)
{
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (!send_or_lose(endpoint, message, length))
            return -1;
        long got = wait_reply(endpoint, conv, reply_buffer, timeout_us);
        if (got >= 0)
            return got;
    }
    return -1;
}

bool send_acknowledgement(net_endpoint& endpoint, const conversation& conv)
{
    uint8_t message[HEADER_SIZE] = {};
    build_header(conv, message, 0, true, KIND_CONTROL);
    return send_message(endpoint, message, sizeof message) == static_cast<long>(sizeof message);
}
