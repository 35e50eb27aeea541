#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class TJsonValue;

// One saved monitoring target. Values are stored as given: nothing is trimmed, checked or
// defaulted here.
class THostConfig {
 public:
  THostConfig(std::string Memo, std::string HostName, int32_t SendFrequency, int32_t Delay,
              bool Notify, std::string GroupName);

  const std::string& Memo() const { return FMemo; }
  void SetMemo(std::string Value) { FMemo = std::move(Value); }
  const std::string& HostName() const { return FHostName; }
  void SetHostName(std::string Value) { FHostName = std::move(Value); }
  int32_t SendFrequency() const { return FSendFrequency; }  // probe interval, ms
  void SetSendFrequency(int32_t Value) { FSendFrequency = Value; }
  int32_t Delay() const { return FDelay; }  // reply timeout, ms
  void SetDelay(int32_t Value) { FDelay = Value; }
  bool Notify() const { return FNotify; }
  void SetNotify(bool Value) { FNotify = Value; }
  const std::string& GroupName() const { return FGroupName; }
  void SetGroupName(std::string Value) { FGroupName = std::move(Value); }

  // The entry as the object of the configuration file, keys in file order.
  TJsonValue ToJsonObject() const;
  // A new entry from one object of the configuration file; missing keys and nulls take their
  // defaults. Throws std::runtime_error with the file's conversion message for the first value
  // that does not convert ("frequency" holding "abc", "notify" holding an object, ...).
  static std::unique_ptr<THostConfig> FromJsonObject(const TJsonValue& Json);

  friend bool operator==(const THostConfig&, const THostConfig&) = default;

 private:
  std::string FMemo;
  std::string FHostName;
  int32_t FSendFrequency;
  int32_t FDelay;
  bool FNotify;
  std::string FGroupName;
};

// What a load of the configuration file found when it did not fail. NotJson leaves an empty list
// without a failure; the caller learns it here, since saving that list would replace the user's
// unreadable file.
enum class TLoadOutcome { NoFile, Loaded, NotJson };

// The ordered list of saved targets. It owns its entries; pointers handed out by Find and GetAll
// stay valid while the entry is in the list. Lookups compare host texts with SameHost and return
// the first match in list order; several entries may share a host.
class THostConfigManager {
 public:
  THostConfigManager();
  ~THostConfigManager();
  THostConfigManager(const THostConfigManager&) = delete;
  THostConfigManager& operator=(const THostConfigManager&) = delete;

  // Appends Config; a null Config is ignored. No check for a matching host.
  void Add(std::unique_ptr<THostConfig> Config);
  // Destroys the first matching entry; false when none matches.
  bool Remove(std::string_view HostName);
  THostConfig* Find(std::string_view HostName) const;            // nullptr when none matches
  int32_t FindIndexByHostName(std::string_view HostName) const;  // -1 when none matches
  // A snapshot of the list: later changes of the list do not change the array.
  std::vector<THostConfig*> GetAll() const;
  // Copies everything except the host text from NewConfig onto the first matching entry;
  // NewConfig may be that entry itself. False when none matches.
  bool Update(std::string_view HostName, const THostConfig& NewConfig);
  void Clear();

  // Replaces the file in one step; on failure the old file stays as it was and
  // std::runtime_error names the file and the system's reason.
  void SaveToFile(const std::string& FileName) const;
  // Replaces the list by the file's entries. A missing file changes nothing. Otherwise throws
  // std::runtime_error with the file's message; the entries read before the failing one stay in
  // the list.
  TLoadOutcome LoadFromFile(const std::string& FileName);

  // The file's bytes as SaveToFile writes them, and the load from such bytes (from the clearing
  // of the list on), for callers that hold the bytes already.
  std::string SaveToBytes() const;
  TLoadOutcome LoadFromBytes(std::string_view Bytes);

  int32_t GetPosition(std::string_view HostName) const;  // -1 when none matches
  // Moves keep the order of the other entries. MoveUp/MoveDown are false when there is no match
  // or the entry is already at that end.
  bool MoveUp(std::string_view HostName);
  bool MoveDown(std::string_view HostName);
  void MoveToFirst(std::string_view HostName);
  void MoveToLast(std::string_view HostName);

 private:
  int32_t IndexWhere(const std::function<bool(const THostConfig&)>& Predicate) const;
  void MoveEntry(std::size_t From, std::size_t To);

  std::vector<std::unique_ptr<THostConfig>> FConfigList;
};
