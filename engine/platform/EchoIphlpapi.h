#pragma once

// The echo service over iphlpapi.dll (Windows only). The service calls the ICMP functions through
// a table, so that tests can put fakes where the library's entry points would be.

// The system headers need this order.
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <winternl.h>  // IO_STATUS_BLOCK
#include <ipexport.h>
// clang-format on

#include <cstddef>
#include <memory>

#include "EchoService.h"

// The five entry points, looked up by name; one that was not found stays null.
struct TIcmpEntryPoints {
  using CreateFunction = HANDLE(WINAPI*)();
  using CloseFunction = BOOL(WINAPI*)(HANDLE IcmpHandle);
  using SendEchoFunction = DWORD(WINAPI*)(HANDLE IcmpHandle, IPAddr DestinationAddress,
                                          LPVOID RequestData, WORD RequestSize,
                                          PIP_OPTION_INFORMATION RequestOptions, LPVOID ReplyBuffer,
                                          DWORD ReplySize, DWORD Timeout);
  // The completion routine is a PIO_APC_ROUTINE; it is always null here.
  using SendEcho6Function = DWORD(WINAPI*)(HANDLE IcmpHandle, HANDLE Event, PVOID ApcRoutine,
                                           PVOID ApcContext, sockaddr_in6* SourceAddress,
                                           sockaddr_in6* DestinationAddress, LPVOID RequestData,
                                           WORD RequestSize, PIP_OPTION_INFORMATION RequestOptions,
                                           LPVOID ReplyBuffer, DWORD ReplySize, DWORD Timeout);

  bool LibraryLoaded = false;
  CreateFunction IcmpCreateFile = nullptr;
  CloseFunction IcmpCloseHandle = nullptr;
  SendEchoFunction IcmpSendEcho = nullptr;
  CreateFunction Icmp6CreateFile = nullptr;
  SendEcho6Function Icmp6SendEcho2 = nullptr;
};

// Loads iphlpapi.dll by name from the system directory, where it is kept loaded until the process
// ends, and looks up the five entry points. A library that does not load leaves them all null.
TIcmpEntryPoints LoadIcmpEntryPoints();

// ICMPV6_ECHO_REPLY as the Windows SDK lays it out: its address part is packed to 26 bytes, so
// Status lies at offset 28. (MinGW's headers lack the record and pack the address differently.)
#pragma pack(push, 1)
struct TIPv6AddressEx {
  USHORT sin6_port;
  ULONG sin6_flowinfo;
  USHORT sin6_addr[8];
  ULONG sin6_scope_id;
};
#pragma pack(pop)
struct TIcmpV6EchoReply {
  TIPv6AddressEx Address;
  ULONG Status;
  unsigned int RoundTripTime;
};
static_assert(sizeof(TIPv6AddressEx) == 26);
static_assert(offsetof(TIcmpV6EchoReply, Status) == 28 && sizeof(TIcmpV6EchoReply) == 36);

// 60 bytes hold one ICMP_ECHO_REPLY (40 bytes in a 64-bit process), the 4-byte request that it
// echoes and the 8 bytes of an ICMP error.
constexpr DWORD kIPv4ReplyBufferSize = 60;

// Icmp6SendEcho2 wants room for one reply record, the echoed request, the 8 bytes of an ICMP error
// and an IO_STATUS_BLOCK: 36 + 32 + 8 + 16 = 92 bytes for the 32-byte request in a 64-bit process.
constexpr DWORD IPv6ReplyBufferSize(std::size_t requestSize) {
  return static_cast<DWORD>(sizeof(TIcmpV6EchoReply) + requestSize + 8 + sizeof(IO_STATUS_BLOCK));
}

// A service that calls through `entryPoints`. Open throws when a function that the probe needs is
// missing; the handle's IcmpCloseHandle runs when the handle is destroyed.
std::shared_ptr<TEchoService> MakeIphlpapiEchoService(const TIcmpEntryPoints& entryPoints);
