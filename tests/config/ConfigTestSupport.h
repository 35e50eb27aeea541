#pragma once

#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "HostConfigManager.h"

// One entry as a readable line, so that a failing comparison shows every field.
inline std::string Describe(const THostConfig& entry) {
  return entry.Memo() + "|" + entry.HostName() + "|" + std::to_string(entry.SendFrequency()) + "|" +
         std::to_string(entry.Delay()) + "|" + (entry.Notify() ? "true" : "false") + "|" +
         entry.GroupName();
}

inline std::vector<std::string> Describe(const THostConfigManager& manager) {
  std::vector<std::string> lines;
  for (const THostConfig* entry : manager.GetAll()) lines.push_back(Describe(*entry));
  return lines;
}

inline void PrintTo(const THostConfig& entry, std::ostream* out) {
  *out << Describe(entry);
}

inline std::unique_ptr<THostConfig> Entry(const std::string& memo, const std::string& host,
                                          int32_t frequency = 1000, int32_t delay = 1000,
                                          bool notify = true, const std::string& group = "关注") {
  return std::make_unique<THostConfig>(memo, host, frequency, delay, notify, group);
}

// What LoadFromFile raises, or "" when it raises nothing.
inline std::string LoadError(THostConfigManager& manager, const std::string& path) {
  try {
    manager.LoadFromFile(path);
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "";
}
