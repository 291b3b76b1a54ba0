// Record of every viewer function the plug-in called, with its arguments
// decoded (UTF-16 texts as UTF-8, ids whole, view-state bytes copied), for
// tests to query and for readable transcripts.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "host_api/viewer_abi.h"

namespace viewer_sim {

using viewer_abi::ObjectId;

// A null text pointer is recorded as nullopt, distinct from an empty text.
using Text = std::optional<std::string>;
struct Id {
  ObjectId value = 0;
};
using ArgValue = std::variant<std::int64_t, Id, Text, std::vector<ObjectId>, std::vector<std::uint8_t>>;

struct Arg {
  std::string name;
  ArgValue value;
};

struct Call {
  std::string name;
  std::vector<Arg> args;
  std::string result;  // as printed in the transcript; empty for void calls

  // Typed access by argument name; throws std::out_of_range when the
  // argument is missing or of another kind, so a test fails loudly.
  std::int64_t Number(std::string_view arg) const;
  ObjectId IdArg(std::string_view arg) const;
  const Text& TextArg(std::string_view arg) const;
  const std::vector<ObjectId>& Ids(std::string_view arg) const;
  const std::vector<std::uint8_t>& Bytes(std::string_view arg) const;
  bool Has(std::string_view arg) const;

  // e.g. set_button_text(plugin=7, button=1, text="Send", hint=null)
  std::string Line() const;
};

// Builds a Call argument by argument.
class CallBuilder {
 public:
  explicit CallBuilder(std::string name) { call_.name = std::move(name); }
  CallBuilder& Number(std::string name, std::int64_t value);
  CallBuilder& IdArg(std::string name, ObjectId value);
  CallBuilder& TextArg(std::string name, const wchar_t* value);
  CallBuilder& Utf8(std::string name, Text value);
  CallBuilder& Ids(std::string name, std::vector<ObjectId> value);
  CallBuilder& Bytes(std::string name, std::vector<std::uint8_t> value);
  CallBuilder& Result(std::string value);
  Call Build() { return std::move(call_); }

 private:
  Call call_;
};

// Shared by the plug-in's threads and the host: every member locks.
class CallLog {
 public:
  void Add(Call call);
  void Clear();
  std::vector<Call> All() const;
  std::vector<Call> Calls(std::string_view name) const;
  std::size_t Count(std::string_view name) const;
  // Names in call order, for checking sequences.
  std::vector<std::string> Names() const;
  std::vector<std::string> Transcript() const;

 private:
  mutable std::mutex mutex_;
  std::vector<Call> calls_;
};

}  // namespace viewer_sim
