#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "HostConfigManager.h"

// The property both the fuzzer and the corpus replay check: whatever list a load leaves behind,
// complete or partial, saves to bytes that load again without failure into the same entries and
// save again to the same bytes. Returns what went wrong, or an empty text.
inline std::string CheckConfigRoundTrip(std::string_view bytes) {
  THostConfigManager first;
  try {
    first.LoadFromBytes(bytes);
  } catch (const std::runtime_error&) {
    // a refused file is fine; the entries read before the failure must still round-trip
  }
  const std::string saved = first.SaveToBytes();

  THostConfigManager second;
  try {
    second.LoadFromBytes(saved);
  } catch (const std::runtime_error& e) {
    return std::string("our own output failed to load: ") + e.what();
  }
  const auto entries = first.GetAll(), reread = second.GetAll();
  if (entries.size() != reread.size()) {
    return "reloading gave " + std::to_string(reread.size()) + " entries instead of " +
           std::to_string(entries.size());
  }
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (!(*entries[i] == *reread[i])) return "entry " + std::to_string(i) + " changed on reload";
  }
  if (second.SaveToBytes() != saved) return "saving the reloaded list gave other bytes";
  return "";
}
