#include "HostConfigManager.h"

#include <algorithm>
#include <exception>
#include <stdexcept>

#include "AtomicFile.h"
#include "FileReading.h"
#include "HostMatch.h"
#include "JsonReader.h"
#include "JsonValue.h"
#include "JsonWriter.h"
#include "Utf8.h"

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

}  // namespace

THostConfigManager::THostConfigManager() = default;

THostConfigManager::~THostConfigManager() = default;

void THostConfigManager::Add(std::unique_ptr<THostConfig> Config) {
  if (Config) FConfigList.push_back(std::move(Config));
}

bool THostConfigManager::Remove(std::string_view HostName) {
  const int32_t index = GetPosition(HostName);
  if (index < 0) return false;
  FConfigList.erase(FConfigList.begin() + index);
  return true;
}

THostConfig* THostConfigManager::Find(std::string_view HostName) const {
  const int32_t index = GetPosition(HostName);
  return index < 0 ? nullptr : FConfigList[static_cast<std::size_t>(index)].get();
}

int32_t THostConfigManager::FindIndexByHostName(std::string_view HostName) const {
  return GetPosition(HostName);
}

std::vector<THostConfig*> THostConfigManager::GetAll() const {
  std::vector<THostConfig*> entries;
  entries.reserve(FConfigList.size());
  for (const auto& entry : FConfigList) entries.push_back(entry.get());
  return entries;
}

bool THostConfigManager::Update(std::string_view HostName, const THostConfig& NewConfig) {
  THostConfig* entry = Find(HostName);
  if (!entry) return false;
  // The setters take copies, so NewConfig being the entry itself is harmless.
  entry->SetMemo(NewConfig.Memo());
  entry->SetSendFrequency(NewConfig.SendFrequency());
  entry->SetDelay(NewConfig.Delay());
  entry->SetNotify(NewConfig.Notify());
  entry->SetGroupName(NewConfig.GroupName());
  return true;
}

void THostConfigManager::Clear() {
  FConfigList.clear();
}

std::string THostConfigManager::SaveToBytes() const {
  TJsonValue array = TJsonValue::Array();
  for (const auto& entry : FConfigList) array.Append(entry->ToJsonObject());
  return std::string(kByteOrderMark) + WriteJson(array);
}

void THostConfigManager::SaveToFile(const std::string& FileName) const {
  WriteFileAtomically(FileName, SaveToBytes());
}

TLoadOutcome THostConfigManager::LoadFromFile(const std::string& FileName) {
  if (!FileExists(FileName)) return TLoadOutcome::NoFile;
  Clear();  // a file that cannot be read leaves an empty list
  return LoadFromBytes(ReadWholeFile(FileName));
}

TLoadOutcome THostConfigManager::LoadFromBytes(std::string_view Bytes) {
  Clear();
  if (Bytes.starts_with(kByteOrderMark)) Bytes.remove_prefix(kByteOrderMark.size());
  if (!IsValidUtf8(Bytes)) {
    throw std::runtime_error(
        "No mapping for the Unicode character exists in the target multi-byte code page");
  }

  // Conversions run while the text is still being read, but take effect only once the whole
  // text has proved to be JSON: a syntax error anywhere means no entries and no failure.
  std::vector<std::unique_ptr<THostConfig>> entries;
  std::exception_ptr failure;
  const TJsonArrayRead read = ReadJsonArrayObjects(Bytes, [&](const TJsonValue& object) {
    if (failure) return;
    try {
      entries.push_back(THostConfig::FromJsonObject(object));
    } catch (const std::runtime_error&) {
      failure = std::current_exception();  // raised once the rest of the text has been checked
    }
  });
  if (read == TJsonArrayRead::NotJson) return TLoadOutcome::NotJson;
  if (read == TJsonArrayRead::NotArray) throw std::runtime_error("Invalid class typecast");
  for (auto& entry : entries) Add(std::move(entry));
  if (failure) std::rethrow_exception(failure);
  return TLoadOutcome::Loaded;
}

int32_t THostConfigManager::IndexWhere(
    const std::function<bool(const THostConfig&)>& Predicate) const {
  for (std::size_t i = 0; i < FConfigList.size(); ++i) {
    if (Predicate(*FConfigList[i])) return static_cast<int32_t>(i);
  }
  return -1;
}

int32_t THostConfigManager::GetPosition(std::string_view HostName) const {
  return IndexWhere([&](const THostConfig& entry) { return SameHost(entry.HostName(), HostName); });
}

// Takes the entry out at From and puts it in at To; the ones between shift by one place.
void THostConfigManager::MoveEntry(std::size_t From, std::size_t To) {
  const auto at = [&](std::size_t index) {
    return FConfigList.begin() + static_cast<std::ptrdiff_t>(index);
  };
  if (From < To) {
    std::rotate(at(From), at(From + 1), at(To + 1));
  } else {
    std::rotate(at(To), at(From), at(From + 1));
  }
}

bool THostConfigManager::MoveUp(std::string_view HostName) {
  const int32_t position = GetPosition(HostName);
  if (position <= 0) return false;
  MoveEntry(static_cast<std::size_t>(position), static_cast<std::size_t>(position) - 1);
  return true;
}

bool THostConfigManager::MoveDown(std::string_view HostName) {
  const int32_t position = GetPosition(HostName);
  if (position < 0 || static_cast<std::size_t>(position) + 1 >= FConfigList.size()) return false;
  MoveEntry(static_cast<std::size_t>(position), static_cast<std::size_t>(position) + 1);
  return true;
}

void THostConfigManager::MoveToFirst(std::string_view HostName) {
  const int32_t position = GetPosition(HostName);
  if (position > 0) MoveEntry(static_cast<std::size_t>(position), 0);
}

void THostConfigManager::MoveToLast(std::string_view HostName) {
  const int32_t position = GetPosition(HostName);
  if (position >= 0 && static_cast<std::size_t>(position) + 1 < FConfigList.size()) {
    MoveEntry(static_cast<std::size_t>(position), FConfigList.size() - 1);
  }
}
