#include <arpa/inet.h>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "setup/netinstall/protocol/configuration_script.h"
#include "setup/netinstall/protocol/protocol_messages.h"
#include "setup/netinstall/wire/conversation.h"
#include "setup/netinstall/wire/repeat_timer.h"
#include "setup/support/untrusted_text.h"

namespace {

const mac_address ROUTER{0x02, 0x00, 0x00, 0x00, 0x0A, 0xBC};
const mac_address SERVER{0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
const mac_address STRANGER{0x02, 0x00, 0x00, 0x00, 0x00, 0x99};

std::vector<uint8_t> bytes(const std::string& text)
{
    return std::vector<uint8_t>(text.begin(), text.end());
}

TEST(netinstall_messages, header_is_written_field_by_field_little_endian)
{
    conversation conv;
    conv.own_mac = SERVER;
    conv.peer_mac = ROUTER;
    conv.own_sequence = 0x1234;
    conv.peer_sequence = 0xBEEF;
    uint8_t message[HEADER_SIZE];
    std::memset(message, 0xEE, sizeof message);
    build_header(conv, message, 0x05DC, true, KIND_DATA);
    const std::vector<uint8_t> expected{0x02, 0x00, 0x00, 0x00, 0x00, 0x01, 0x02, 0x00, 0x00, 0x00,
                                        0x0A, 0xBC, 0xEF, 0x01, 0xDC, 0x05, 0x34, 0x12, 0xEF, 0xBE};
    EXPECT_EQ(std::vector<uint8_t>(message, message + HEADER_SIZE), expected);
    // Without the acknowledgement only its bit is cleared (the other flag bits are the buffer's).
    build_header(conv, message, 4, false, KIND_CONTROL);
    EXPECT_EQ(message[12], 0xEE);
    EXPECT_EQ(message[13], 0);
    EXPECT_EQ(message[18], 0);
    EXPECT_EQ(message[19], 0);
}

struct accept_case {
    const char* name;
    bool peer_known;
    mac_address source;
    mac_address destination;
    bool with_ack;
    uint16_t ack;
    uint16_t sequence;
    size_t payload;
    int length_change;  // datagram length minus what the header announces
    uint16_t own_sequence;
    uint16_t peer_sequence;
    bool accepted;
    uint16_t peer_sequence_after;
};

TEST(netinstall_messages, accept_message_keeps_to_addressing_and_sequence)
{
    const accept_case cases[] = {
        {"next in sequence", true, SERVER, ROUTER, false, 0, 5, 10, 0, 3, 4, true, 5},
        {"repeat of last", true, SERVER, ROUTER, false, 0, 4, 10, 0, 3, 4, false, 4},
        {"skips one", true, SERVER, ROUTER, false, 0, 6, 10, 0, 3, 4, false, 4},
        {"pure ack with any sequence", true, SERVER, ROUTER, true, 3, 999, 0, 0, 3, 4, true, 4},
        {"ack of a message not yet sent", true, SERVER, ROUTER, true, 4, 5, 10, 0, 3, 4, false, 4},
        {"stale ack", true, SERVER, ROUTER, true, 2, 5, 10, 0, 3, 4, true, 5},
        {"length field too small", true, SERVER, ROUTER, false, 0, 5, 10, 1, 3, 4, false, 4},
        {"length field too large", true, SERVER, ROUTER, false, 0, 5, 10, -1, 3, 4, false, 4},
        {"own broadcast", false, ROUTER, NO_MAC, false, 0, 1, 10, 0, 1, 0, false, 0},
        {"to anybody before a peer", false, STRANGER, NO_MAC, false, 0, 1, 10, 0, 1, 0, true, 1},
        {"to us before a peer", false, STRANGER, ROUTER, false, 0, 1, 10, 0, 1, 0, true, 1},
        {"to anybody once peer known", true, SERVER, NO_MAC, false, 0, 5, 10, 0, 3, 4, false, 4},
        {"from a third machine", true, STRANGER, ROUTER, false, 0, 5, 10, 0, 3, 4, false, 4},
        {"for another machine", true, SERVER, STRANGER, false, 0, 5, 10, 0, 3, 4, false, 4},
        {"wraps after 65535", true, SERVER, ROUTER, false, 0, 0, 10, 0, 3, 65535, true, 0},
        {"ack across the wrap", true, SERVER, ROUTER, true, 65535, 0, 0, 0, 2, 4, true, 4},
        {"ack ahead across the wrap", true, SERVER, ROUTER, true, 1, 0, 0, 0, 65535, 4, false, 4},
    };
    for (const accept_case& c : cases) {
        conversation conv;
        conv.own_mac = ROUTER;
        conv.peer_mac = c.peer_known ? SERVER : NO_MAC;
        conv.own_sequence = c.own_sequence;
        conv.peer_sequence = c.peer_sequence;
        conversation sender;
        sender.own_mac = c.source;
        sender.peer_mac = c.destination;
        sender.own_sequence = c.sequence;
        sender.peer_sequence = c.ack;
        std::vector<uint8_t> message(HEADER_SIZE + c.payload, 'x');
        build_header(sender, message.data(), static_cast<uint16_t>(c.payload), c.with_ack, KIND_CONTROL);
        message.resize(static_cast<size_t>(static_cast<long>(message.size()) + c.length_change), 'x');
        EXPECT_EQ(accept_message(conv, message.data(), message.size()), c.accepted) << c.name;
        EXPECT_EQ(conv.peer_sequence, c.peer_sequence_after) << c.name;
    }
    conversation conv;
    uint8_t short_datagram[19] = {};
    EXPECT_FALSE(accept_message(conv, short_datagram, sizeof short_datagram));
}

TEST(netinstall_messages, file_announcement_needs_three_lines_and_a_plain_size)
{
    struct {
        std::string payload;
        bool parsed;
        std::string name;
        int64_t size;
    } cases[] = {
        {"FILE\nsystem.vrp\n1453\n", true, "system.vrp", 1453},
        {"FILE\nautorun.scr\n0\n", true, "autorun.scr", 0},
        {"FILE\n" + std::string(80, 'a') + "\n7\n", true, std::string(80, 'a'), 7},
        {"FILE\n" + std::string(81, 'a') + "\n7\n", false, "", 0},
        {"FILE\nx\n9223372036854775807\n", true, "x", INT64_MAX},
        {"FILE\nx\n9223372036854775808\n", false, "", 0},
        {"FILE\nx\n12abc\n", false, "", 0},
        {"FILE\nx\n-5\n", false, "", 0},
        {"FILE\nx\n\n", false, "", 0},
        {"FILE\nx\n12", false, "", 0},
        {"FILE\nx", false, "", 0},
        {"FILX\nx\n1\n", false, "", 0},
        {"FIL", false, "", 0},
    };
    for (const auto& c : cases) {
        file_announcement out;
        out.name = "left over";
        std::vector<uint8_t> payload = bytes(c.payload);
        EXPECT_EQ(parse_file_announcement(payload.data(), payload.size(), out), c.parsed) << c.payload;
        EXPECT_EQ(out.name, c.name) << c.payload;
        EXPECT_EQ(out.size, c.size) << c.payload;
    }
    uint8_t built[64];
    size_t length = build_file_announcement(built, sizeof built, "a.vrp", 1452);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(built), length), "FILE\na.vrp\n1452\n");
}

TEST(netinstall_messages, discovery_and_offer_lines)
{
    struct {
        std::string payload;
        bool parsed;
        std::string label;
    } cases[] = {
        {std::string("DSCV\n\n\nkestrova\n\0", 17), true, "kestrova"},
        {"DSCV\nr1\nr2\n" + std::string(31, 'L') + "\n", true, std::string(31, 'L')},
        {"DSCV\n\n\n" + std::string(32, 'L') + "\n", false, ""},
        {"DSCV\n" + std::string(32, 'r') + "\n\nx\n", false, ""},
        {"DSCV\n\n\nno end", false, ""},
        {"DSCV\n\n", false, ""},
        {"DSCX\n\n\nx\n", false, ""},
        {"DSCV\n\n\nbad\x1b[2Jlabel\x07\x9b" "1m\n", true, "badlabel1m"},
    };
    for (const auto& c : cases) {
        discovery_lines out;
        std::vector<uint8_t> payload = bytes(c.payload);
        EXPECT_EQ(parse_discovery(payload.data(), payload.size(), out), c.parsed) << c.payload;
        if (c.parsed) {
            EXPECT_EQ(out.label, c.label) << c.payload;
        }
    }
    uint8_t built[64];
    size_t length = build_discovery(built, sizeof built, "kestrova");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(built), length), std::string("DSCV\n\n\nkestrova\n\0", 17));
    length = build_offer(built, sizeof built, true);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(built), length), std::string("OFFR\n\nkeep\n\0", 12));

    struct {
        std::string payload;
        bool parsed;
        bool keep;
    } offers[] = {
        {std::string("OFFR\n\nkeep\n\0", 12), true, true},
        {std::string("OFFR\n\n\0", 7), true, false},
        {std::string("OFFR\n\nkeep\0", 11), true, true},
        {"OFFR\nreserved\nkeeper\n", true, false},
        {"OFFR\n", false, false},
    };
    for (const auto& c : offers) {
        bool keep = !c.keep;
        std::vector<uint8_t> payload = bytes(c.payload);
        EXPECT_EQ(parse_offer(payload.data(), payload.size(), keep), c.parsed) << c.payload;
        EXPECT_EQ(keep, c.keep) << c.payload;
    }
}

TEST(netinstall_messages, names_from_the_network_must_be_plain)
{
    EXPECT_TRUE(plain_base_name("autorun.scr"));
    for (const char* name : {"", ".", "..", "../etc/passwd.scr", "a/b.scr", "/autorun.scr", "x\x1b.scr"})
        EXPECT_FALSE(plain_base_name(name)) << name;
}

uint32_t address(const char* dotted)
{
    return inet_addr(dotted);
}

TEST(netinstall_messages, configuration_script_leaves_out_what_is_zero)
{
    const std::string interface_block =
        ":local eth\n"
        ":set eth [/interface ethernet get [/interface ethernet find mac-address=02:00:00:00:0A:BC] name]\n"
        "/interface enable $eth\n"
        "/ip address add address=10.0.0.2/24 interface=$eth\n";
    struct {
        const char* address;
        unsigned long prefix;
        const char* gateway;
        unsigned long baud;
        std::string script;
    } cases[] = {
        {"10.0.0.2", 24, "0.0.0.0", 9600, interface_block + "/port set [/port find] baud-rate=9600\n"},
        {"10.0.0.2", 24, "10.0.0.1", 0, interface_block + "/ip route add gateway=10.0.0.1\n"},
        {"0.0.0.0", 24, "10.0.0.1", 0, "/ip route add gateway=10.0.0.1\n"},
        {"10.0.0.2", 0, "0.0.0.0", 115200, "/port set [/port find] baud-rate=115200\n"},
        {"0.0.0.0", 0, "0.0.0.0", 0, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(build_configuration(ROUTER, address(c.address), c.prefix, address(c.gateway), c.baud),
                  c.script)
            << c.address << " " << c.gateway;
}

}  // namespace

// The sender's first wait follows the link it measured, within its floor and ceiling; repeats
// double as before.
TEST(netinstall_messages, repeat_waits_follow_the_measured_round_trips)
{
    struct row {
        std::vector<int64_t> round_trips;
        int64_t first_wait;
    };
    const row rows[] = {
        {{}, 20000},                   // nothing measured yet: the old fixed wait
        {{80}, 500},                   // a LAN: the floor, not 320 us
        {{3000}, 12000},               // four round trips
        {{9000}, 20000},               // never above the old wait
        {{100, 2000, 100, 2000}, 3543},  // a jumpy link waits for its variation, not 4 x 519 us
        {{1000, 100000}, 20000},       // one slow acknowledgement counts an eighth
        {{1000, 1000, -5000}, 4000},   // a clock going back teaches nothing
        {{0}, 500},
    };
    for (const row& r : rows) {
        repeat_timer timer;
        for (int64_t round_trip : r.round_trips)
            record_round_trip(timer, round_trip);
        EXPECT_EQ(first_repeat_wait(timer), r.first_wait) << r.round_trips.size();
    }
    repeat_timer timer;
    record_round_trip(timer, 1000);
    record_round_trip(timer, 100000);
    EXPECT_EQ(timer.smoothed_round_trip_us, 1000 + 99000 / 8);
    EXPECT_EQ(next_repeat_wait(500), 1000);
    EXPECT_EQ(next_repeat_wait(1024000), 1700000);
    EXPECT_EQ(next_repeat_wait(1700000), 1700000);
}
