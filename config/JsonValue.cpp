#include "JsonValue.h"

#include <utility>

TJsonValue::TJsonValue() = default;
TJsonValue::TJsonValue(TKind kind) : FKind(kind) {}
TJsonValue::~TJsonValue() = default;
TJsonValue::TJsonValue(const TJsonValue& other) = default;
TJsonValue::TJsonValue(TJsonValue&& other) noexcept = default;
TJsonValue& TJsonValue::operator=(const TJsonValue& other) = default;
TJsonValue& TJsonValue::operator=(TJsonValue&& other) noexcept = default;

TJsonValue TJsonValue::Boolean(bool value) {
  TJsonValue result(TKind::Boolean);
  result.FBoolean = value;
  return result;
}

TJsonValue TJsonValue::Number(std::string text) {
  TJsonValue result(TKind::Number);
  result.FText = std::move(text);
  return result;
}

TJsonValue TJsonValue::String(std::string text) {
  TJsonValue result(TKind::String);
  result.FText = std::move(text);
  return result;
}

TJsonValue TJsonValue::Array() {
  return TJsonValue(TKind::Array);
}

TJsonValue TJsonValue::Object() {
  return TJsonValue(TKind::Object);
}

void TJsonValue::Append(TJsonValue element) {
  FElements.push_back(std::move(element));
}

void TJsonValue::AddMember(std::string key, TJsonValue value) {
  FMembers.push_back(TJsonMember{std::move(key), std::move(value)});
}

const TJsonValue* TJsonValue::Find(std::string_view key) const {
  for (const TJsonMember& member : FMembers) {
    if (member.Key == key) return &member.Value;
  }
  return nullptr;
}
