#pragma once

#include <string>
#include <string_view>
#include <vector>

struct TJsonMember;

// One JSON value as read from or written to a file. A number keeps its text exactly as written,
// since text fields take a number's text unchanged. An object keeps its members in file order,
// repeated keys included; Find returns the first occurrence.
class TJsonValue {
 public:
  enum class TKind { Null, Boolean, Number, String, Array, Object };

  TJsonValue();  // null
  // Defined where TJsonMember is complete.
  ~TJsonValue();
  TJsonValue(const TJsonValue& other);
  TJsonValue(TJsonValue&& other) noexcept;
  TJsonValue& operator=(const TJsonValue& other);
  TJsonValue& operator=(TJsonValue&& other) noexcept;

  static TJsonValue Boolean(bool value);
  static TJsonValue Number(std::string text);
  static TJsonValue String(std::string text);
  static TJsonValue Array();
  static TJsonValue Object();

  TKind Kind() const { return FKind; }
  bool IsNull() const { return FKind == TKind::Null; }
  bool IsObject() const { return FKind == TKind::Object; }
  bool IsArray() const { return FKind == TKind::Array; }

  bool BooleanValue() const { return FBoolean; }
  // The decoded text of a string, or the text of a number as written.
  const std::string& Text() const { return FText; }

  const std::vector<TJsonValue>& Elements() const { return FElements; }
  void Append(TJsonValue element);

  const std::vector<TJsonMember>& Members() const { return FMembers; }
  void AddMember(std::string key, TJsonValue value);
  // The value of the first member named `key` (compared exactly), or nullptr.
  const TJsonValue* Find(std::string_view key) const;

 private:
  explicit TJsonValue(TKind kind);

  TKind FKind = TKind::Null;
  bool FBoolean = false;
  std::string FText;
  std::vector<TJsonValue> FElements;
  std::vector<TJsonMember> FMembers;
};

struct TJsonMember {
  std::string Key;
  TJsonValue Value;
};
