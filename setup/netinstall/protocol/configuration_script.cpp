#include "setup/netinstall/protocol/configuration_script.h"

#include <arpa/inet.h>
#include <cstdio>

#include "setup/netinstall/wire/network_interfaces.h"

namespace {

std::string dotted(uint32_t address)
{
    char text[INET_ADDRSTRLEN] = {};
    in_addr value{};
    value.s_addr = address;
    inet_ntop(AF_INET, &value, text, sizeof text);
    return text;
}

}  // namespace

std::string build_configuration(const mac_address& mac, uint32_t address, unsigned long prefix_bits,
                                uint32_t gateway, unsigned long baud_rate)
{
    std::string script;
    char line[256];
    if (address != 0 && prefix_bits != 0) {
        char mac_text[18];
        format_mac(mac, mac_text);
        std::snprintf(line, sizeof line,
                      ":local eth\n"
                      ":set eth [/interface ethernet get [/interface ethernet find mac-address=%s] name]\n"
                      "/interface enable $eth\n",
                      mac_text);
        script += line;
        std::snprintf(line, sizeof line, "/ip address add address=%s/%lu interface=$eth\n",
                      dotted(address).c_str(), prefix_bits);
        script += line;
    }
    if (gateway != 0) {
        std::snprintf(line, sizeof line, "/ip route add gateway=%s\n", dotted(gateway).c_str());
        script += line;
    }
    if (baud_rate != 0) {
        std::snprintf(line, sizeof line, "/port set [/port find] baud-rate=%lu\n", baud_rate);
        script += line;
    }
    return script;
}
