#include <netdb.h>
#include <sys/socket.h>

#include <memory>

#include "Resolver.h"

std::vector<std::string> ResolveNumericAddresses(const std::string& hostName) {
  // A text with a NUL would reach the resolver cut short and name another host.
  if (hostName.find('\0') != std::string::npos) return {};
  addrinfo hints{};
  hints.ai_flags = AI_CANONNAME;
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(hostName.c_str(), nullptr, &hints, &found) != 0) return {};
  const std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> entries(found, &freeaddrinfo);

  std::vector<std::string> ipv4;
  std::vector<std::string> ipv6;
  for (const addrinfo* entry = found; entry; entry = entry->ai_next) {
    if (entry->ai_family != AF_INET && entry->ai_family != AF_INET6) continue;
    char text[NI_MAXHOST];
    if (getnameinfo(entry->ai_addr, entry->ai_addrlen, text, sizeof text, nullptr, 0,
                    NI_NUMERICHOST) != 0) {
      continue;
    }
    (entry->ai_family == AF_INET ? ipv4 : ipv6).emplace_back(text);
  }
  ipv4.insert(ipv4.end(), ipv6.begin(), ipv6.end());
  return ipv4;
}
