#include "tools/viewer_sim/ifc_reader.h"

#include <fstream>
#include <iterator>
#include <optional>
#include <unordered_map>

#include "tools/viewer_sim/ifc_products.h"
#include "tools/viewer_sim/text.h"

namespace viewer_sim {
namespace {

constexpr std::size_t kGuidLength = 22;

bool IsGuidChar(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == '$';
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

bool IsIdentChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::optional<std::uint32_t> ParseHex(std::string_view digits) {
  std::uint32_t value = 0;
  for (char c : digits) {
    const int h = HexValue(c);
    if (h < 0) return std::nullopt;
    value = (value << 4) | static_cast<std::uint32_t>(h);
  }
  return value;
}

enum class Scan { kEnd, kUnterminatedString, kUnterminatedComment, kOpen };

// Finds the ';' that ends the statement starting at `pos`, skipping strings
// and comments. Returns the scan outcome and sets `end` on success.
Scan FindStatementEnd(std::string_view text, std::size_t pos, std::size_t& end) {
  std::size_t i = pos;
  while (i < text.size()) {
    const char c = text[i];
    if (c == '\'') {
      ++i;
      for (;;) {
        if (i >= text.size()) return Scan::kUnterminatedString;
        if (text[i] == '\'') {
          if (i + 1 < text.size() && text[i + 1] == '\'') {
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        ++i;
      }
    } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
      const std::size_t close = text.find("*/", i + 2);
      if (close == std::string_view::npos) return Scan::kUnterminatedComment;
      i = close + 2;
    } else if (c == ';') {
      end = i;
      return Scan::kEnd;
    } else {
      ++i;
    }
  }
  return Scan::kOpen;
}

// Reads tokens of one statement, stepping over blanks and comments.
class Cursor {
 public:
  explicit Cursor(std::string_view s) : s_(s) {}

  void SkipBlanks() {
    for (;;) {
      while (i_ < s_.size() && IsSpace(s_[i_])) ++i_;
      if (i_ + 1 < s_.size() && s_[i_] == '/' && s_[i_ + 1] == '*') {
        const std::size_t close = s_.find("*/", i_ + 2);
        i_ = close == std::string_view::npos ? s_.size() : close + 2;
        continue;
      }
      return;
    }
  }

  bool AtEnd() {
    SkipBlanks();
    return i_ >= s_.size();
  }

  bool Eat(char c) {
    SkipBlanks();
    if (i_ < s_.size() && s_[i_] == c) {
      ++i_;
      return true;
    }
    return false;
  }

  std::string_view Identifier() {
    SkipBlanks();
    const std::size_t start = i_;
    while (i_ < s_.size() && IsIdentChar(s_[i_])) ++i_;
    return s_.substr(start, i_ - start);
  }

  std::optional<std::uint32_t> Number() {
    SkipBlanks();
    std::uint64_t value = 0;
    const std::size_t start = i_;
    while (i_ < s_.size() && s_[i_] >= '0' && s_[i_] <= '9') {
      value = value * 10 + static_cast<std::uint64_t>(s_[i_] - '0');
      if (value > 0xFFFFFFFFull) return std::nullopt;
      ++i_;
    }
    if (i_ == start) return std::nullopt;
    return static_cast<std::uint32_t>(value);
  }

  // An instance reference such as #12.
  std::optional<std::uint32_t> Ref() {
    if (!Eat('#')) return std::nullopt;
    return Number();
  }

  // A list of instance references such as (#12,#15); other members are skipped.
  std::vector<std::uint32_t> RefList() {
    std::vector<std::uint32_t> refs;
    if (!Eat('(')) return refs;
    while (!Eat(')')) {
      if (const auto ref = Ref()) {
        refs.push_back(*ref);
        if (Eat(',')) continue;
      } else if (!SkipAttribute()) {
        // The last member when it was no reference: skip up to the ')'.
        Eat(')');
        break;
      }
    }
    return refs;
  }

  // Skips `n` attributes; false when the list ends before.
  bool Skip(int n) {
    for (int i = 0; i < n; ++i) {
      if (!SkipAttribute()) return false;
    }
    return true;
  }

  // The raw body of a quoted string at the cursor ('' left doubled).
  std::optional<std::string_view> String() {
    SkipBlanks();
    if (i_ >= s_.size() || s_[i_] != '\'') return std::nullopt;
    const std::size_t start = ++i_;
    while (i_ < s_.size()) {
      if (s_[i_] == '\'') {
        if (i_ + 1 < s_.size() && s_[i_ + 1] == '\'') {
          i_ += 2;
          continue;
        }
        return s_.substr(start, i_++ - start);
      }
      ++i_;
    }
    return std::nullopt;
  }

  // Skips one attribute value of any kind and the comma after it; false at
  // the end of the attribute list.
  bool SkipAttribute() {
    int depth = 0;
    for (;;) {
      SkipBlanks();
      if (i_ >= s_.size()) return false;
      const char c = s_[i_];
      if (c == '\'') {
        if (!String()) return false;
        continue;
      }
      if (c == '(') {
        ++depth;
      } else if (c == ')') {
        if (depth == 0) return false;
        --depth;
      } else if (c == ',' && depth == 0) {
        ++i_;
        return true;
      }
      ++i_;
    }
  }

 private:
  std::string_view s_;
  std::size_t i_ = 0;
};

// The leading keyword of a section statement such as DATA or ENDSEC.
std::string_view Keyword(std::string_view statement) { return Cursor(statement).Identifier(); }

std::wstring Widen(std::string_view ascii) { return std::wstring(ascii.begin(), ascii.end()); }

std::string UnquoteDoubled(std::string_view raw) {
  std::string out;
  out.reserve(raw.size());
  for (std::size_t i = 0; i < raw.size(); ++i) {
    out.push_back(raw[i]);
    if (raw[i] == '\'' && i + 1 < raw.size() && raw[i + 1] == '\'') ++i;
  }
  return out;
}

bool IsGlobalId(std::string_view text) {
  if (text.size() != kGuidLength) return false;
  for (char c : text) {
    if (!IsGuidChar(c)) return false;
  }
  return true;
}

// What the DATA section gives: the products, and which instance each
// contained, aggregated, nested or voiding instance belongs to.
struct Reading {
  std::vector<ModelObject> objects;
  std::unordered_map<std::uint32_t, std::size_t> objectOfInstance;
  std::unordered_map<std::uint32_t, std::uint32_t> parent;

  void Link(const std::vector<std::uint32_t>& children, std::optional<std::uint32_t> to) {
    if (!to) return;
    for (auto child : children) parent.try_emplace(child, *to);
  }

  // The storey an object stands on: up through its parents until one is a
  // storey. Bounded, as a cyclic file must not hang the reader.
  ObjectId StoreyOf(std::uint32_t instance) const {
    for (std::size_t step = 0; step < parent.size(); ++step) {
      const auto up = parent.find(instance);
      if (up == parent.end()) return 0;
      instance = up->second;
      const auto found = objectOfInstance.find(instance);
      if (found != objectOfInstance.end() && objects[found->second].type == L"IFCBUILDINGSTOREY") {
        return objects[found->second].id;
      }
    }
    return 0;
  }
};

// Relationships: GlobalId, OwnerHistory, Name, Description, then the two ends.
void ReadRelationship(std::string_view type, Cursor& cur, Reading& reading) {
  if (!cur.Skip(4)) return;
  if (type == "IFCRELCONTAINEDINSPATIALSTRUCTURE") {
    const auto elements = cur.RefList();
    if (cur.Eat(',')) reading.Link(elements, cur.Ref());
  } else if (type == "IFCRELAGGREGATES" || type == "IFCRELNESTS") {
    const auto whole = cur.Ref();
    if (cur.Eat(',')) reading.Link(cur.RefList(), whole);
  } else if (type == "IFCRELVOIDSELEMENT") {
    const auto element = cur.Ref();
    if (const auto opening = cur.Eat(',') ? cur.Ref() : std::nullopt) reading.Link({*opening}, element);
  }
}

void ReadInstance(std::string_view statement, Reading& reading) {
  Cursor cur(statement);
  if (!cur.Eat('#')) return;
  const auto instance = cur.Number();
  if (!instance || !cur.Eat('=')) return;
  const std::string_view type = cur.Identifier();
  if (type.empty() || !cur.Eat('(')) return;
  if (!IsProductType(type)) {
    if (type.starts_with("IFCREL")) ReadRelationship(type, cur, reading);
    return;
  }
  const auto guid = cur.String();
  if (!guid || !IsGlobalId(*guid)) return;
  ModelObject object;
  object.id = ObjectIdForInstance(*instance);
  object.type = Widen(type);
  object.properties.push_back({kElementSpecificSet, kGuidProperty, Widen(*guid)});
  // IfcRoot: GlobalId, OwnerHistory, Name, ...
  if (cur.Eat(',') && cur.SkipAttribute()) {
    if (const auto name = cur.String()) object.name = DecodeStepString(UnquoteDoubled(*name));
  }
  reading.objectOfInstance.try_emplace(*instance, reading.objects.size());
  reading.objects.push_back(std::move(object));
}

}  // namespace

std::wstring DecodeStepString(std::string_view raw) {
  std::wstring out;
  out.reserve(raw.size());
  std::size_t i = 0;
  auto literal = [&] { AppendCodePoint(out, static_cast<unsigned char>(raw[i++])); };
  while (i < raw.size()) {
    if (raw[i] != '\\') {
      literal();
      continue;
    }
    const std::string_view rest = raw.substr(i);
    if (rest.starts_with("\\\\")) {
      out.push_back(L'\\');
      i += 2;
    } else if (rest.starts_with("\\S\\") && rest.size() >= 4) {
      AppendCodePoint(out, static_cast<unsigned char>(rest[3]) + 128u);
      i += 4;
    } else if (rest.starts_with("\\X\\") && rest.size() >= 5 && ParseHex(rest.substr(3, 2))) {
      AppendCodePoint(out, *ParseHex(rest.substr(3, 2)));
      i += 5;
    } else if (rest.starts_with("\\X2\\") || rest.starts_with("\\X4\\")) {
      const std::size_t width = rest[2] == '2' ? 4 : 8;
      const std::size_t close = rest.find("\\X0\\", 4);
      const std::string_view hex = close == std::string_view::npos ? std::string_view{} : rest.substr(4, close - 4);
      bool valid = close != std::string_view::npos && hex.size() % width == 0;
      std::u32string units;
      for (std::size_t k = 0; valid && k < hex.size(); k += width) {
        const auto unit = ParseHex(hex.substr(k, width));
        valid = unit.has_value();
        if (valid) units.push_back(*unit);
      }
      if (!valid) {
        literal();
        continue;
      }
      for (std::size_t k = 0; k < units.size(); ++k) {
        char32_t cp = units[k];
        // \X2\ carries UTF-16 units: join surrogate pairs.
        if (width == 4 && cp >= 0xD800 && cp <= 0xDBFF && k + 1 < units.size() && units[k + 1] >= 0xDC00 &&
            units[k + 1] <= 0xDFFF) {
          cp = 0x10000 + ((cp - 0xD800) << 10) + (units[k + 1] - 0xDC00);
          ++k;
        }
        AppendCodePoint(out, cp);
      }
      i += close + 4;
    } else if (rest.size() >= 4 && rest[1] == 'P' && rest[3] == '\\') {
      i += 4;  // \PA\ .. \PI\ pick the code page of later \S\ escapes; Latin-1 is assumed
    } else {
      literal();
    }
  }
  return out;
}

IfcReadResult ParseIfc(std::string_view text) {
  IfcReadResult result;
  Reading reading;
  bool sawData = false;
  bool inData = false;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = 0;
    const Scan scan = FindStatementEnd(text, pos, end);
    if (scan != Scan::kEnd) {
      if (scan == Scan::kUnterminatedString) {
        result.error = "unterminated string";
      } else if (scan == Scan::kUnterminatedComment) {
        result.error = "unterminated comment";
      } else if (!Cursor(text.substr(pos)).AtEnd()) {
        result.error = "file ends inside a statement";
      }
      break;
    }
    const std::string_view statement = text.substr(pos, end - pos);
    pos = end + 1;
    if (inData) {
      if (Keyword(statement) == "ENDSEC") {
        inData = false;
      } else {
        ReadInstance(statement, reading);
      }
    } else if (Keyword(statement) == "DATA") {
      inData = sawData = true;
    }
  }
  if (result.ok() && !sawData) result.error = "no DATA section";
  for (const auto& [instance, index] : reading.objectOfInstance) {
    reading.objects[index].storey = reading.StoreyOf(instance);
  }
  result.objects = std::move(reading.objects);
  return result;
}

IfcReadResult ReadIfcFile(const std::filesystem::path& path) {
  const auto fail = [&](std::string_view what) {
    IfcReadResult failed;
    failed.error = std::string(what) + " " + ToUtf8(path.wstring());
    return failed;
  };
  std::ifstream in(path, std::ios::binary);
  if (!in) return fail("cannot open");
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (in.bad()) return fail("cannot read");
  return ParseIfc(text);
}

}  // namespace viewer_sim
