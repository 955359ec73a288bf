#include "Net.h"

#include <p2p/p2p.h>

#include <algorithm>
#include <cstdlib>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

namespace p2p::net {

namespace {

void addUnique(std::vector<asio::ip::address_v4> &v, const asio::ip::address_v4 &a)
{
    if (std::find(v.begin(), v.end(), a) == v.end())
        v.push_back(a);
}

#ifdef _WIN32
void addInterfaceBroadcasts(std::vector<asio::ip::address_v4> &out)
{
    SOCKET s = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (s == INVALID_SOCKET)
        return;
    INTERFACE_INFO info[32];
    DWORD bytes = 0;
    if (WSAIoctl(s, SIO_GET_INTERFACE_LIST, nullptr, 0, info, sizeof(info), &bytes, nullptr,
                 nullptr) == 0) {
        const DWORD count = bytes / sizeof(INTERFACE_INFO);
        for (DWORD i = 0; i < count; ++i) {
            if (!(info[i].iiFlags & IFF_UP) || !(info[i].iiFlags & IFF_BROADCAST))
                continue;
            const auto addr = ntohl(info[i].iiAddress.AddressIn.sin_addr.s_addr);
            const auto mask = ntohl(info[i].iiNetmask.AddressIn.sin_addr.s_addr);
            addUnique(out, asio::ip::address_v4(addr | ~mask));
        }
    }
    closesocket(s);
}
#else
void addInterfaceBroadcasts(std::vector<asio::ip::address_v4> &out)
{
    ifaddrs *list = nullptr;
    if (getifaddrs(&list) != 0)
        return;
    for (ifaddrs *i = list; i; i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || !(i->ifa_flags & IFF_UP) ||
            !(i->ifa_flags & IFF_BROADCAST) || !i->ifa_broadaddr)
            continue;
        const auto *sin = reinterpret_cast<const sockaddr_in *>(i->ifa_broadaddr);
        addUnique(out, asio::ip::address_v4(ntohl(sin->sin_addr.s_addr)));
    }
    freeifaddrs(list);
}
#endif

} // namespace

std::vector<asio::ip::address_v4> broadcastTargets()
{
    std::vector<asio::ip::address_v4> out;
    addUnique(out, asio::ip::address_v4::broadcast());
    addInterfaceBroadcasts(out);
    addUnique(out, asio::ip::make_address_v4("127.255.255.255"));
    addUnique(out, asio::ip::address_v4::loopback());
    return out;
}

void allowPortSharing(asio::ip::udp::socket &socket)
{
    asio::error_code ec;
    socket.set_option(asio::socket_base::reuse_address(true), ec);
#if defined(SO_REUSEPORT) && !defined(_WIN32)
    socket.set_option(asio::detail::socket_option::boolean<SOL_SOCKET, SO_REUSEPORT>(true), ec);
#endif
}

std::string env(const char *name)
{
    const char *v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

std::uint16_t discoveryPort()
{
    const std::string v = env(P2P_ENV_DISCOVERY_PORT);
    if (!v.empty() && v.size() <= 5 &&
        std::all_of(v.begin(), v.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        const unsigned long port = std::stoul(v);
        if (port > 0 && port <= 65535)
            return static_cast<std::uint16_t>(port);
    }
    return P2P_DEFAULT_DISCOVERY_PORT;
}

} // namespace p2p::net
