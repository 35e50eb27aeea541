#include <winsock2.h>
#include <ws2tcpip.h>

#include <memory>

#include "Resolver.h"
#include "WindowsText.h"

// In UTF-16, so that a name outside ASCII reaches the resolver as typed, whatever the system's
// 8-bit code page can hold.
std::vector<std::string> ResolveNumericAddresses(const std::string& hostName) {
  // A text with a NUL would reach the resolver cut short and name another host.
  if (hostName.find('\0') != std::string::npos) return {};
  ADDRINFOW hints{};
  hints.ai_flags = AI_CANONNAME;
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  ADDRINFOW* found = nullptr;
  if (GetAddrInfoW(WidenUtf8(hostName).c_str(), nullptr, &hints, &found) != 0) return {};
  const std::unique_ptr<ADDRINFOW, decltype(&FreeAddrInfoW)> entries(found, &FreeAddrInfoW);

  std::vector<std::string> ipv4;
  std::vector<std::string> ipv6;
  for (const ADDRINFOW* entry = found; entry; entry = entry->ai_next) {
    if (entry->ai_family != AF_INET && entry->ai_family != AF_INET6) continue;
    wchar_t text[NI_MAXHOST];
    if (GetNameInfoW(entry->ai_addr, static_cast<socklen_t>(entry->ai_addrlen), text, NI_MAXHOST,
                     nullptr, 0, NI_NUMERICHOST) != 0) {
      continue;
    }
    (entry->ai_family == AF_INET ? ipv4 : ipv6).push_back(NarrowToUtf8(text));
  }
  ipv4.insert(ipv4.end(), ipv6.begin(), ipv6.end());
  return ipv4;
}
