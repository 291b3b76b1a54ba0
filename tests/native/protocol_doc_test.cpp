// The examples of docs/protocol.md, run against the code they describe:
// framing, the messages the plug-in sends, the commands with their replies
// and effects, GUID lists and view states.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bridge/guid_lines.h"
#include "bridge/view_state_hex.h"
#include "controller_fixture.h"
#include "peer_link/peer_message.h"

namespace {

struct Block {
  std::string kind;
  int line = 0;  // of the opening fence
  std::vector<std::string> body;
};

std::vector<Block> ReadExamples() {
  std::ifstream in(VIDUDUDE_PROTOCOL_DOC);
  if (!in) throw std::runtime_error("cannot read " VIDUDUDE_PROTOCOL_DOC);
  std::vector<Block> blocks;
  std::string line;
  int number = 0;
  bool inside = false;
  while (std::getline(in, line)) {
    ++number;
    if (inside) {
      if (line == "```") {
        inside = false;
      } else {
        blocks.back().body.push_back(line);
      }
    } else if (line.rfind("```example ", 0) == 0) {
      blocks.push_back({line.substr(11), number, {}});
      inside = true;
    }
  }
  if (inside) throw std::runtime_error("an example block is not closed");
  return blocks;
}

// A quoted text with C escapes, or a bare word.
struct Token {
  bool quoted = false;
  std::string text;
};

std::vector<Token> Tokenize(const std::string& line) {
  std::vector<Token> tokens;
  std::size_t i = 0;
  while (i < line.size()) {
    if (line[i] == ' ') {
      ++i;
    } else if (line[i] == '"') {
      Token token{true, {}};
      for (++i; i < line.size() && line[i] != '"'; ++i) {
        if (line[i] != '\\') {
          token.text += line[i];
          continue;
        }
        if (++i == line.size()) throw std::runtime_error("escape at the end of: " + line);
        static const std::map<char, char> escapes{{'r', '\r'}, {'n', '\n'}, {'0', '\0'}, {'\\', '\\'}, {'"', '"'}};
        const auto e = escapes.find(line[i]);
        if (e == escapes.end()) throw std::runtime_error("unknown escape in: " + line);
        token.text += e->second;
      }
      if (i == line.size()) throw std::runtime_error("unclosed quote in: " + line);
      ++i;
      tokens.push_back(token);
    } else {
      const std::size_t end = line.find(' ', i);
      tokens.push_back({false, line.substr(i, end == std::string::npos ? std::string::npos : end - i)});
      i = end == std::string::npos ? line.size() : end;
    }
  }
  return tokens;
}

// "key: value" lines of a block; the value stays raw for Tokenize.
std::map<std::string, std::string> Fields(const Block& block) {
  std::map<std::string, std::string> fields;
  for (const auto& line : block.body) {
    const std::size_t colon = line.find(": ");
    if (colon == std::string::npos) throw std::runtime_error("not a field: " + line);
    fields[line.substr(0, colon)] = line.substr(colon + 2);
  }
  return fields;
}

std::string Quoted(const std::string& value) {
  const auto tokens = Tokenize(value);
  if (tokens.size() != 1 || !tokens[0].quoted) throw std::runtime_error("expected one quoted text: " + value);
  return tokens[0].text;
}

std::vector<std::uint8_t> HexBytes(const std::vector<Token>& tokens) {
  std::vector<std::uint8_t> bytes;
  for (const auto& t : tokens) {
    if (t.quoted || t.text.size() != 2) throw std::runtime_error("not a hex byte: " + t.text);
    bytes.push_back(static_cast<std::uint8_t>(std::stoul(t.text, nullptr, 16)));
  }
  return bytes;
}

std::vector<std::string> QuotedList(const std::vector<Token>& tokens) {
  std::vector<std::string> texts;
  for (const auto& t : tokens) {
    if (!t.quoted) throw std::runtime_error("expected quoted texts, found " + t.text);
    texts.push_back(t.text);
  }
  return texts;
}

// The model that the examples share.
const std::vector<std::pair<viewer_abi::ObjectId, std::wstring>> kModel{
    {0x11, L"2O2Fr$t4X7Zf8NOew3FL9r"}, {0x12, L"0BTBFw6f90Nfh9rP1dl_39"}, {0x13, L"1cwlDi_hLEvPsClAelBNnz"}};

viewer_abi::ObjectId ObjectWithGuid(const std::string& guid) {
  for (const auto& [id, g] : kModel) {
    if (fakes::Narrow(g) == guid) return id;
  }
  throw std::runtime_error("the examples' model has no " + guid);
}

std::string GuidOf(viewer_abi::ObjectId id) {
  for (const auto& [object, g] : kModel) {
    if (object == id) return fakes::Narrow(g);
  }
  return "<object " + std::to_string(id) + ">";
}

// A started plug-in with one peer running and the examples' model loaded.
class Session {
 public:
  static constexpr fakes::WindowHandle kHost = 0x500;
  static constexpr fakes::WindowHandle kPeer = 0x901;
  static constexpr std::uint32_t kViewerPid = 5188;

  Session() {
    system.processes = {{11, "QUABO.EXE"}};
    system.windows = {{kHost, kViewerPid, "TViewerMain"}, {kPeer, 11, "TMainForm"}};
    system.replies[kPeer] = 1;
    for (const auto& [id, guid] : kModel) viewer.AddObject(id, {guid});
    plugin::StartPlugin(system, viewer, 7, kHost, kTestHandlers, TestControllerInstance());
    viewer.loadedPath = L"C:\\model.ifc";
    viewer.modelHandler();
    system.sent.clear();
    viewer.calls.clear();
  }
  ~Session() { TestControllerInstance().reset(); }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  bridge::btBIMQuabo& Controller() { return *TestControllerInstance(); }
  std::intptr_t Command(std::uintptr_t code, const std::string& text) { return system.DeliverText(kPeer, code, text); }
  std::vector<std::string> SelectedGuids() const {
    std::vector<std::string> guids;
    for (const auto& call : viewer.Calls("select_many")) {
      for (const auto id : call.ids) guids.push_back(GuidOf(id));
    }
    return guids;
  }
  // The text of the only message sent, without "<pid>|" and the NUL.
  std::pair<std::uint32_t, std::string> OnlySent() const {
    if (system.sent.size() != 1) throw std::runtime_error(std::to_string(system.sent.size()) + " messages sent");
    const auto& s = system.sent[0];
    const std::size_t prefix = std::to_string(kViewerPid).size() + 1;
    if (s.payload.size() <= prefix) throw std::runtime_error("a payload without text");
    const std::string text = s.payload.substr(prefix, s.payload.size() - prefix - 1);
    EXPECT_EQ(s.payload, peer_link::FramePayload(kViewerPid, text));
    return {s.code, text};
  }

  fakes::FakePlatform system;
  fakes::FakeViewer viewer;
};

class ProtocolDoc : public ::testing::Test {
 protected:
  static std::vector<Block> Examples(const std::string& kind) {
    std::vector<Block> matching;
    for (const auto& b : ReadExamples()) {
      if (b.kind == kind) matching.push_back(b);
    }
    return matching;
  }
};

TEST_F(ProtocolDoc, EveryExampleIsOfAKindThatIsChecked) {
  std::map<std::string, int> counts;
  for (const auto& b : ReadExamples()) ++counts[b.kind];
  EXPECT_GE(counts["framing"], 1);
  EXPECT_GE(counts["sent"], 5);
  EXPECT_GE(counts["commands"], 1);
  EXPECT_GE(counts["guid-list"], 3);
  EXPECT_GE(counts["view-state"], 3);
  counts.erase("framing");
  counts.erase("sent");
  counts.erase("commands");
  counts.erase("guid-list");
  counts.erase("view-state");
  for (const auto& [kind, n] : counts) ADD_FAILURE() << n << " example(s) of unknown kind \"" << kind << "\"";
}

TEST_F(ProtocolDoc, FramingExamplesAreTheBytesThePluginSends) {
  for (const auto& block : Examples("framing")) {
    SCOPED_TRACE("docs/protocol.md:" + std::to_string(block.line));
    auto fields = Fields(block);
    const std::string payload =
        peer_link::FramePayload(static_cast<std::uint32_t>(std::stoul(fields.at("pid"))), Quoted(fields.at("text")));
    EXPECT_EQ(std::vector<std::uint8_t>(payload.begin(), payload.end()), HexBytes(Tokenize(fields.at("bytes"))));
    EXPECT_EQ(payload.size(), std::stoul(fields.at("cbData")));
  }
}

TEST_F(ProtocolDoc, SentExamplesAreWhatTheEventsSend) {
  for (const auto& block : Examples("sent")) {
    SCOPED_TRACE("docs/protocol.md:" + std::to_string(block.line));
    auto fields = Fields(block);
    const auto event = Tokenize(fields.at("event"));
    ASSERT_FALSE(event.empty());
    const std::string& name = event[0].text;
    const std::vector<std::string> args = QuotedList({event.begin() + 1, event.end()});
    Session s;
    if (name == "start") {
      s.system.sent.clear();
      TestControllerInstance().reset();
      plugin::StartPlugin(s.system, s.viewer, 7, Session::kHost, kTestHandlers, TestControllerInstance());
    } else if (name == "stop") {
      plugin::StopPlugin(TestControllerInstance());
    } else if (name == "model-loaded") {
      ASSERT_EQ(args.size(), 1u);
      s.viewer.loadedPath = s.system.ToWide(args[0]);
      s.viewer.modelHandler();
    } else if (name == "selection" || name == "lines-button") {
      s.Command(kCommandConnect, "");
      for (const auto& guid : args) s.viewer.selection.push_back(ObjectWithGuid(guid));
      s.viewer.selectionHandler();
      if (name == "lines-button") {
        s.system.sent.clear();
        s.viewer.buttons.at(s.Controller().LinesButton()).onClick();
      }
    } else {
      FAIL() << "unknown event " << name;
    }
    const auto [code, text] = s.OnlySent();
    EXPECT_EQ(code, std::stoul(fields.at("code")));
    EXPECT_EQ(text, Quoted(fields.at("text")));
  }
}

void CheckCommand(const std::string& row) {
  SCOPED_TRACE(row);
  const auto tokens = Tokenize(row);
  ASSERT_GE(tokens.size(), 6u);
  ASSERT_TRUE(tokens[1].quoted);
  ASSERT_EQ(tokens[2].text, "->");
  ASSERT_EQ(tokens[4].text, ":");
  const std::uintptr_t code = std::stoul(tokens[0].text);
  const std::string& text = tokens[1].text;
  const std::intptr_t reply = std::stol(tokens[3].text);
  const std::string& effect = tokens[5].text;
  const std::vector<Token> args(tokens.begin() + 6, tokens.end());

  Session s;
  if (effect == "load-refused") s.viewer.refuseLoads = true;
  if (effect == "disconnect" || effect == "leave" || effect == "selection") s.Command(kCommandConnect, "");
  const bool activeBefore = s.Controller().Active();
  s.viewer.calls.clear();
  // The text as a peer sends it: its bytes and a NUL, all within cbData.
  EXPECT_EQ(s.system.Deliver(Session::kPeer, code, text + std::string(1, '\0')), reply);

  if (effect == "connect") {
    EXPECT_TRUE(s.Controller().Active());
    EXPECT_EQ(s.Controller().ConnectedPeer(), Session::kPeer);
  } else if (effect == "disconnect" || effect == "leave") {
    EXPECT_FALSE(s.Controller().Active());
    EXPECT_EQ(s.Controller().ConnectedPeer(), 0u);
    EXPECT_EQ(s.system.closesPosted.size(), effect == "disconnect" ? 1u : 0u);
  } else if (effect == "load" || effect == "load-refused") {
    const auto loads = s.viewer.Calls("load_ifc");
    ASSERT_EQ(loads.size(), 1u);
    EXPECT_EQ(loads[0].texts.at(0), QuotedList(args).at(0));
    EXPECT_EQ(s.viewer.Calls("item_command").size(), effect == "load" ? 1u : 0u);
  } else if (effect == "select") {
    const std::vector<std::string> expected =
        args.size() == 1 && args[0].text == "nothing" ? std::vector<std::string>{} : QuotedList(args);
    EXPECT_EQ(s.SelectedGuids(), expected);
    EXPECT_EQ(s.viewer.Calls("select").size(), 1u) << "the selection is cleared first";
  } else if (effect == "view-state") {
    const auto expected = args.at(0).text == "none" ? std::vector<std::uint8_t>{} : HexBytes(args);
    EXPECT_EQ(s.viewer.viewState, expected);
    EXPECT_EQ(s.viewer.Calls("set_view_state").size(), 1u);
  } else if (effect == "lines-button") {
    const auto calls = s.viewer.Calls("enable_button");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].numbers.at(1), s.Controller().LinesButton());
    EXPECT_EQ(calls[0].numbers.at(2), args.at(0).text == "on" ? 1 : 0);
  } else if (effect == "selection") {
    const auto [sentCode, sentText] = s.OnlySent();
    EXPECT_EQ(sentCode, peer_link::kCodeSelection);
    EXPECT_EQ(sentText, QuotedList(args).at(0));
  } else if (effect == "model-path") {
    const auto [sentCode, sentText] = s.OnlySent();
    EXPECT_EQ(sentCode, peer_link::kCodeModelPath);
    EXPECT_EQ(sentText, QuotedList(args).at(0));
  } else if (effect == "nothing") {
    EXPECT_TRUE(s.viewer.calls.empty());
    EXPECT_TRUE(s.system.closesPosted.empty());
    EXPECT_EQ(s.Controller().Active(), activeBefore);
  } else {
    ADD_FAILURE() << "unknown effect " << effect;
  }
}

TEST_F(ProtocolDoc, CommandRowsGiveTheirRepliesAndEffects) {
  std::set<std::uintptr_t> codes;
  for (const auto& block : Examples("commands")) {
    for (const auto& row : block.body) {
      SCOPED_TRACE("docs/protocol.md:" + std::to_string(block.line));
      CheckCommand(row);
      codes.insert(std::stoul(Tokenize(row).at(0).text));
    }
  }
  for (const auto& command : peer_link::kCommands)
    EXPECT_TRUE(codes.contains(command.code)) << "no row for " << command.code;
}

TEST_F(ProtocolDoc, GuidListExamplesSelectWhatTheySay) {
  for (const auto& block : Examples("guid-list")) {
    SCOPED_TRACE("docs/protocol.md:" + std::to_string(block.line));
    auto fields = Fields(block);
    const std::string text = Quoted(fields.at("text"));
    const auto selects = Tokenize(fields.at("selects"));
    const std::vector<std::string> expected =
        selects.size() == 1 && selects[0].text == "nothing" ? std::vector<std::string>{} : QuotedList(selects);
    Session s;
    EXPECT_EQ(s.Command(kCommandSelect, text), 2001);
    EXPECT_EQ(s.SelectedGuids(), expected);
    // The cutting alone: every line it yields that names an element is selected.
    if (text != "0") {
      std::vector<std::string> known;
      bridge::ForEachLine(text, [&known](std::string_view line) {
        for (const auto& [id, guid] : kModel) {
          if (fakes::Narrow(guid) == line) known.emplace_back(line);
        }
      });
      EXPECT_EQ(known, expected);
    }
  }
}

TEST_F(ProtocolDoc, ViewStateExamplesDecodeToTheirBytes) {
  for (const auto& block : Examples("view-state")) {
    SCOPED_TRACE("docs/protocol.md:" + std::to_string(block.line));
    auto fields = Fields(block);
    const auto decoded = bridge::DecodeViewState(Quoted(fields.at("text")));
    const auto bytes = Tokenize(fields.at("bytes"));
    if (bytes.size() == 1 && bytes[0].text == "previous") {
      EXPECT_FALSE(decoded.has_value());
    } else if (bytes.size() == 1 && bytes[0].text == "none") {
      ASSERT_TRUE(decoded.has_value());
      EXPECT_TRUE(decoded->empty());
    } else {
      ASSERT_TRUE(decoded.has_value());
      EXPECT_EQ(*decoded, HexBytes(bytes));
    }
  }
}

}  // namespace
