#pragma once

#include <string>
#include <vector>

// The numeric addresses the system's resolver gives for a host name (UTF-8), asked with the
// canonical name flag, any family, stream sockets: the IPv4 addresses first, then the IPv6 ones,
// each in the resolver's order with duplicates kept. Empty when the name does not resolve; an
// entry that cannot be turned into text is skipped. Needs the socket library started.
std::vector<std::string> ResolveNumericAddresses(const std::string& hostName);
