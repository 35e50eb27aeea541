// The entries themselves; the list and its file are in HostConfigManager.cpp.
#include <charconv>
#include <optional>
#include <stdexcept>
#include <string>

#include "HostConfigManager.h"
#include "JsonValue.h"

namespace {

constexpr int32_t kDefaultFrequency = 1000;
constexpr int32_t kDefaultDelay = 1000;
constexpr bool kDefaultNotify = false;
constexpr const char* kDefaultGroup = "关注";

// The value of `key`, or nullptr when it is missing or null.
const TJsonValue* Present(const TJsonValue& object, std::string_view key) {
  const TJsonValue* value = object.Find(key);
  return value && !value->IsNull() ? value : nullptr;
}

std::runtime_error ConversionFailure(const TJsonValue& found, std::string_view target) {
  const char* kind = found.IsObject() ? "object" : "array";
  return std::runtime_error("Conversion from " + std::string(kind) + " to " + std::string(target) +
                            " is not supported");
}

bool IsContainer(const TJsonValue& value) {
  return value.IsObject() || value.IsArray();
}

std::string ReadText(const TJsonValue& object, std::string_view key, const char* fallback) {
  const TJsonValue* value = Present(object, key);
  if (!value) return fallback;
  if (IsContainer(*value)) throw ConversionFailure(*value, "string");
  if (value->Kind() == TJsonValue::TKind::Boolean) return value->BooleanValue() ? "true" : "false";
  return value->Text();  // a string's text, or a number's text as written
}

// An optional minus sign and decimal digits, within 32 bits; no blanks, plus sign or hex.
int32_t ParseInteger(const std::string& text) {
  int32_t result = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, result);
  if (error != std::errc() || stop != end) {
    throw std::runtime_error("'" + text + "' is not a valid integer value");
  }
  return result;
}

int32_t ReadInteger(const TJsonValue& object, std::string_view key, int32_t fallback) {
  const TJsonValue* value = Present(object, key);
  if (!value) return fallback;
  if (IsContainer(*value)) throw ConversionFailure(*value, "Integer");
  if (value->Kind() == TJsonValue::TKind::Boolean) return value->BooleanValue() ? 1 : 0;
  return ParseInteger(value->Text());
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// A decimal number: optional sign, digits with at most one point, optional exponent. Gives
// whether it is non-zero, decided on the digits so that no rounding can turn 1e-400 into zero.
std::optional<bool> ReadDecimalNonZero(std::string_view text) {
  std::size_t pos = 0;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) ++pos;
  bool digits = false, nonZero = false, point = false;
  for (; pos < text.size(); ++pos) {
    const char c = text[pos];
    if (IsDigit(c)) {
      digits = true;
      nonZero = nonZero || c != '0';
    } else if (c == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (!digits) return std::nullopt;
  if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
    ++pos;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) ++pos;
    const std::size_t exponent = pos;
    while (pos < text.size() && IsDigit(text[pos])) ++pos;
    if (pos == exponent) return std::nullopt;
  }
  if (pos != text.size()) return std::nullopt;
  return nonZero;
}

bool EqualsIgnoringAsciiCase(std::string_view text, std::string_view lowerWord) {
  if (text.size() != lowerWord.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    if (lower != lowerWord[i]) return false;
  }
  return true;
}

bool ParseBoolean(const std::string& text) {
  if (const std::optional<bool> nonZero = ReadDecimalNonZero(text)) return *nonZero;
  if (EqualsIgnoringAsciiCase(text, "true")) return true;
  if (EqualsIgnoringAsciiCase(text, "false")) return false;
  throw std::runtime_error("'" + text + "' is not a valid boolean value");
}

bool ReadBoolean(const TJsonValue& object, std::string_view key, bool fallback) {
  const TJsonValue* value = Present(object, key);
  if (!value) return fallback;
  if (IsContainer(*value)) throw ConversionFailure(*value, "Boolean");
  if (value->Kind() == TJsonValue::TKind::Boolean) return value->BooleanValue();
  return ParseBoolean(value->Text());
}

}  // namespace

THostConfig::THostConfig(std::string Memo, std::string HostName, int32_t SendFrequency,
                         int32_t Delay, bool Notify, std::string GroupName)
    : FMemo(std::move(Memo)),
      FHostName(std::move(HostName)),
      FSendFrequency(SendFrequency),
      FDelay(Delay),
      FNotify(Notify),
      FGroupName(std::move(GroupName)) {}

TJsonValue THostConfig::ToJsonObject() const {
  TJsonValue object = TJsonValue::Object();
  object.AddMember("memo", TJsonValue::String(FMemo));
  object.AddMember("hostname", TJsonValue::String(FHostName));
  object.AddMember("frequency", TJsonValue::Number(std::to_string(FSendFrequency)));
  object.AddMember("delay", TJsonValue::Number(std::to_string(FDelay)));
  object.AddMember("notify", TJsonValue::Boolean(FNotify));
  object.AddMember("groupname", TJsonValue::String(FGroupName));
  return object;
}

std::unique_ptr<THostConfig> THostConfig::FromJsonObject(const TJsonValue& Json) {
  if (!Json.IsObject()) throw std::runtime_error("Invalid class typecast");
  // This order decides which message an object with several bad values gives.
  std::string hostName = ReadText(Json, "hostname", "");
  const int32_t frequency = ReadInteger(Json, "frequency", kDefaultFrequency);
  const int32_t delay = ReadInteger(Json, "delay", kDefaultDelay);
  const bool notify = ReadBoolean(Json, "notify", kDefaultNotify);
  std::string groupName = ReadText(Json, "groupname", kDefaultGroup);
  std::string memo = ReadText(Json, "memo", "");
  return std::make_unique<THostConfig>(std::move(memo), std::move(hostName), frequency, delay,
                                       notify, std::move(groupName));
}
