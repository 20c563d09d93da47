#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/random.h>

#include <memory>
#include <stdexcept>

#include "Host.h"

std::vector<std::string> NetworkAddresses()
{
    std::vector<std::string> addresses;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return addresses;
    const std::unique_ptr<ifaddrs, decltype(&freeifaddrs)> owner(list, &freeifaddrs);
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
        if ((entry->ifa_flags & IFF_UP) == 0 || (entry->ifa_flags & IFF_LOOPBACK) != 0) continue;
        char text[INET_ADDRSTRLEN] = {};
        const auto* ipv4 = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
        if (inet_ntop(AF_INET, &ipv4->sin_addr, text, sizeof text) != nullptr) addresses.emplace_back(text);
    }
    return addresses;
}

void SystemRandomBytes(unsigned char* bytes, std::size_t count)
{
    if (getrandom(bytes, count, 0) != static_cast<ssize_t>(count)) throw std::runtime_error("No random bytes.");
}
