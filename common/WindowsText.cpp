#include "WindowsText.h"

#include <windows.h>

#include <climits>
#include <memory>
#include <stdexcept>

namespace {

int CheckedLength(std::size_t size) {
  if (size > static_cast<std::size_t>(INT_MAX))
    throw std::length_error("text too long for Windows");
  return static_cast<int>(size);
}

}  // namespace

std::wstring WidenUtf8(std::string_view text) {
  if (text.empty()) return {};
  const int length = CheckedLength(text.size());
  const int needed = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(needed), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), length, wide.data(), needed);
  return wide;
}

std::string NarrowToUtf8(std::wstring_view text) {
  if (text.empty()) return {};
  const int length = CheckedLength(text.size());
  const int needed =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(needed), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), length, narrow.data(), needed, nullptr, nullptr);
  return narrow;
}

std::string SystemErrorText(uint32_t error) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  const std::unique_ptr<wchar_t, decltype(&LocalFree)> owned(buffer, &LocalFree);
  if (length == 0 || buffer == nullptr) return {};
  std::wstring_view text(buffer, length);
  // "Access is denied.\r\n" reads as "Access is denied", like the texts of other platforms.
  while (!text.empty() && (text.back() <= L' ' || text.back() == L'.')) text.remove_suffix(1);
  return NarrowToUtf8(text);
}
