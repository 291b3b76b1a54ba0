#include "tools/viewer_sim/call_log.h"

#include <cstdio>
#include <stdexcept>

#include "tools/viewer_sim/text.h"

namespace viewer_sim {
namespace {

std::string Hex(std::uint64_t value) {
  char buffer[24];
  std::snprintf(buffer, sizeof buffer, "0x%llx", static_cast<unsigned long long>(value));
  return buffer;
}

std::string Quoted(const Text& text) {
  if (!text) return "null";
  std::string out = "\"";
  for (char c : *text) {
    if (c == '"' || c == '\\') out.push_back('\\');
    out.push_back(c);
  }
  return out + "\"";
}

struct Printer {
  std::string operator()(std::int64_t v) const { return std::to_string(v); }
  std::string operator()(Id v) const { return Hex(v.value); }
  std::string operator()(const Text& v) const { return Quoted(v); }
  std::string operator()(const std::vector<ObjectId>& v) const {
    std::string out = "[";
    for (std::size_t i = 0; i < v.size(); ++i) out += (i ? ", " : "") + Hex(v[i]);
    return out + "]";
  }
  std::string operator()(const std::vector<std::uint8_t>& v) const {
    std::string out = "<";
    for (std::uint8_t b : v) {
      char two[3];
      std::snprintf(two, sizeof two, "%02x", b);
      out += two;
    }
    return out + ">";
  }
};

template <typename T>
const T& Get(const Call& call, std::string_view arg) {
  for (const auto& a : call.args) {
    if (a.name != arg) continue;
    if (const T* value = std::get_if<T>(&a.value)) return *value;
    throw std::out_of_range(call.name + ": argument " + std::string(arg) + " has another kind");
  }
  throw std::out_of_range(call.name + ": no argument " + std::string(arg));
}

}  // namespace

std::int64_t Call::Number(std::string_view arg) const { return Get<std::int64_t>(*this, arg); }
ObjectId Call::IdArg(std::string_view arg) const { return Get<Id>(*this, arg).value; }
const Text& Call::TextArg(std::string_view arg) const { return Get<Text>(*this, arg); }
const std::vector<ObjectId>& Call::Ids(std::string_view arg) const { return Get<std::vector<ObjectId>>(*this, arg); }
const std::vector<std::uint8_t>& Call::Bytes(std::string_view arg) const {
  return Get<std::vector<std::uint8_t>>(*this, arg);
}

bool Call::Has(std::string_view arg) const {
  for (const auto& a : args) {
    if (a.name == arg) return true;
  }
  return false;
}

std::string Call::Line() const {
  std::string line = name + "(";
  for (std::size_t i = 0; i < args.size(); ++i) {
    line += (i ? ", " : "") + args[i].name + "=" + std::visit(Printer{}, args[i].value);
  }
  line += ")";
  if (!result.empty()) line += " -> " + result;
  return line;
}

CallBuilder& CallBuilder::Number(std::string name, std::int64_t value) {
  call_.args.push_back({std::move(name), value});
  return *this;
}
CallBuilder& CallBuilder::IdArg(std::string name, ObjectId value) {
  call_.args.push_back({std::move(name), Id{value}});
  return *this;
}
CallBuilder& CallBuilder::TextArg(std::string name, const wchar_t* value) {
  return Utf8(std::move(name), value ? Text(ToUtf8(value)) : std::nullopt);
}
CallBuilder& CallBuilder::Utf8(std::string name, Text value) {
  call_.args.push_back({std::move(name), std::move(value)});
  return *this;
}
CallBuilder& CallBuilder::Ids(std::string name, std::vector<ObjectId> value) {
  call_.args.push_back({std::move(name), std::move(value)});
  return *this;
}
CallBuilder& CallBuilder::Bytes(std::string name, std::vector<std::uint8_t> value) {
  call_.args.push_back({std::move(name), std::move(value)});
  return *this;
}
CallBuilder& CallBuilder::Result(std::string value) {
  call_.result = std::move(value);
  return *this;
}

void CallLog::Add(Call call) {
  std::lock_guard lock(mutex_);
  calls_.push_back(std::move(call));
}

void CallLog::Clear() {
  std::lock_guard lock(mutex_);
  // Give the memory back too, so that a long run's log does not look like
  // the plug-in's memory.
  std::vector<Call>().swap(calls_);
}

std::vector<Call> CallLog::All() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

std::vector<Call> CallLog::Calls(std::string_view name) const {
  std::lock_guard lock(mutex_);
  std::vector<Call> out;
  for (const auto& c : calls_) {
    if (c.name == name) out.push_back(c);
  }
  return out;
}

std::size_t CallLog::Count(std::string_view name) const {
  std::lock_guard lock(mutex_);
  std::size_t n = 0;
  for (const auto& c : calls_) n += c.name == name ? 1 : 0;
  return n;
}

std::vector<std::string> CallLog::Names() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> out;
  for (const auto& c : calls_) out.push_back(c.name);
  return out;
}

std::vector<std::string> CallLog::Transcript() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> out;
  for (const auto& c : calls_) out.push_back(c.Line());
  return out;
}

}  // namespace viewer_sim
