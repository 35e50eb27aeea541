// The echo service over the ICMP functions of iphlpapi.dll, which need no special rights.

#include "EchoIphlpapi.h"

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "WindowsText.h"

namespace {

template <typename Function>
Function EntryPoint(HMODULE library, const char* name) {
  // Through the generic function type, which the compilers accept between function types.
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
}

WORD RequestSize(std::span<const uint8_t> payload) {
  if (payload.size() > 0xFFFF) throw std::invalid_argument("ICMP请求数据过长");
  return static_cast<WORD>(payload.size());
}

class TIphlpapiEchoHandle final : public TEchoHandle {
 public:
  TIphlpapiEchoHandle(const TIcmpEntryPoints& api, bool ipv6) : FApi(api), FIPv6(ipv6) {}
  ~TIphlpapiEchoHandle() override {
    if (FHandle != INVALID_HANDLE_VALUE) FApi.IcmpCloseHandle(FHandle);
  }
  TIphlpapiEchoHandle(const TIphlpapiEchoHandle&) = delete;
  TIphlpapiEchoHandle& operator=(const TIphlpapiEchoHandle&) = delete;

  // Returns false, with the reason left in GetLastError, when no handle could be opened.
  bool Open() {
    FHandle = FIPv6 ? FApi.Icmp6CreateFile() : FApi.IcmpCreateFile();
    return FHandle != INVALID_HANDLE_VALUE;
  }

  TEchoReply SendEcho4(TIPv4Address destination, std::span<const uint8_t> payload,
                       uint32_t timeoutMs) override;
  TEchoReply SendEcho6(const TIPv6Address& destination, std::span<const uint8_t> payload,
                       uint32_t timeoutMs) override;

 private:
  void RequireFamily(bool ipv6) const {
    if (ipv6 != FIPv6) throw std::logic_error("echo handle of the other address family");
  }

  const TIcmpEntryPoints FApi;
  const bool FIPv6;
  HANDLE FHandle = INVALID_HANDLE_VALUE;
};

TEchoReply TIphlpapiEchoHandle::SendEcho4(TIPv4Address destination,
                                          std::span<const uint8_t> payload, uint32_t timeoutMs) {
  RequireFamily(false);
  alignas(ICMP_ECHO_REPLY) unsigned char buffer[kIPv4ReplyBufferSize] = {};
  TEchoReply reply;
  reply.ReplyCount =
      FApi.IcmpSendEcho(FHandle, destination, const_cast<uint8_t*>(payload.data()),
                        RequestSize(payload), nullptr, buffer, sizeof buffer, timeoutMs);
  reply.LastError = GetLastError();
  if (reply.ReplyCount != 0) {
    ICMP_ECHO_REPLY first;
    std::memcpy(&first, buffer, sizeof first);
    reply.Status = first.Status;
    reply.RoundTripTime = first.RoundTripTime;
  }
  return reply;
}

TEchoReply TIphlpapiEchoHandle::SendEcho6(const TIPv6Address& destination,
                                          std::span<const uint8_t> payload, uint32_t timeoutMs) {
  RequireFamily(true);
  sockaddr_in6 source{};  // the unspecified address: the system picks the source
  source.sin6_family = AF_INET6;
  sockaddr_in6 target{};
  target.sin6_family = AF_INET6;
  static_assert(sizeof(target.sin6_addr) == std::tuple_size_v<TIPv6Address>);
  std::memcpy(&target.sin6_addr, destination.data(), destination.size());

  std::vector<unsigned char> buffer(IPv6ReplyBufferSize(payload.size()), 0);
  TEchoReply reply;
  reply.ReplyCount = FApi.Icmp6SendEcho2(
      FHandle, nullptr, nullptr, nullptr, &source, &target, const_cast<uint8_t*>(payload.data()),
      RequestSize(payload), nullptr, buffer.data(), static_cast<DWORD>(buffer.size()), timeoutMs);
  reply.LastError = GetLastError();
  if (reply.ReplyCount != 0) {
    TIcmpV6EchoReply first;
    std::memcpy(&first, buffer.data(), sizeof first);
    reply.Status = first.Status;
    reply.RoundTripTime = first.RoundTripTime;
  }
  return reply;
}

class TIphlpapiEchoService final : public TEchoService {
 public:
  explicit TIphlpapiEchoService(const TIcmpEntryPoints& api) : FApi(api) {}

  std::unique_ptr<TEchoHandle> Open(bool ipv6, uint32_t& error) override {
    // Checked before a handle exists, so that no handle is opened that could not be closed.
    Require(FApi.IcmpCloseHandle != nullptr, "IcmpCloseHandle");
    if (ipv6) {
      Require(FApi.Icmp6CreateFile != nullptr, "Icmp6CreateFile");
      Require(FApi.Icmp6SendEcho2 != nullptr, "Icmp6SendEcho2");
    } else {
      Require(FApi.IcmpCreateFile != nullptr, "IcmpCreateFile");
      Require(FApi.IcmpSendEcho != nullptr, "IcmpSendEcho");
    }
    auto handle = std::make_unique<TIphlpapiEchoHandle>(FApi, ipv6);
    if (!handle->Open()) {
      error = GetLastError();
      return nullptr;
    }
    return handle;
  }

  std::string ErrorText(uint32_t error) const override { return SystemErrorText(error); }

 private:
  void Require(bool found, const char* name) const {
    if (!FApi.LibraryLoaded) throw std::runtime_error("ICMP服务不可用: 无法加载 iphlpapi.dll");
    if (!found)
      throw std::runtime_error(std::string("ICMP服务不可用: iphlpapi.dll 中没有 ") + name);
  }

  const TIcmpEntryPoints FApi;
};

}  // namespace

TIcmpEntryPoints LoadIcmpEntryPoints() {
  TIcmpEntryPoints api;
  // By name, from the system directory only: a file of that name beside the executable or in the
  // working directory is never loaded instead.
  const HMODULE library = LoadLibraryExW(L"iphlpapi.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (library == nullptr) return api;
  api.LibraryLoaded = true;
  api.IcmpCreateFile = EntryPoint<TIcmpEntryPoints::CreateFunction>(library, "IcmpCreateFile");
  api.IcmpCloseHandle = EntryPoint<TIcmpEntryPoints::CloseFunction>(library, "IcmpCloseHandle");
  api.IcmpSendEcho = EntryPoint<TIcmpEntryPoints::SendEchoFunction>(library, "IcmpSendEcho");
  api.Icmp6CreateFile = EntryPoint<TIcmpEntryPoints::CreateFunction>(library, "Icmp6CreateFile");
  api.Icmp6SendEcho2 = EntryPoint<TIcmpEntryPoints::SendEcho6Function>(library, "Icmp6SendEcho2");
  return api;
}

std::shared_ptr<TEchoService> PlatformEchoService() {
  // Looked up once, when the first monitor asks; the handles are the probes' own, so there is
  // nothing else for monitors to share.
  static const TIcmpEntryPoints api = LoadIcmpEntryPoints();
  return MakeIphlpapiEchoService(api);
}

std::shared_ptr<TEchoService> MakeIphlpapiEchoService(const TIcmpEntryPoints& entryPoints) {
  return std::make_shared<TIphlpapiEchoService>(entryPoints);
}
