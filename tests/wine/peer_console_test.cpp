// peer_sim's interactive console, typed into through its stdin: what a
// window standing in for the plug-in's hidden window receives, and what the
// console's log shows.
// Run as: peer_console_tests --peer=<path of peer_sim.exe>

#include <windows.h>

#include <charconv>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "peer_driver.h"
#include "tests/wine_tools/copydata_recorder.h"

using namespace std::string_literals;

namespace {

std::string g_peerSim;

std::string Hex(const void* p) {
  char buf[2 * sizeof(void*) + 1];
  const auto r = std::to_chars(buf, buf + sizeof buf, reinterpret_cast<std::uintptr_t>(p), 16);
  return std::string(buf, r.ptr);
}

// The class the console looks for: the plug-in's own name would also find
// the windows of plug-ins that other test programs load meanwhile.
std::string PluginClass() { return "VidudUDE.MessageWindow.test" + std::to_string(GetCurrentProcessId()); }

// A recorder window; with the plug-in's class it is what the console finds
// on its own.
class RecorderWindow : public CopyDataRecorder {
 public:
  enum class Kind { Plugin, Other };
  RecorderWindow(Kind kind, LRESULT reply)
      : CopyDataRecorder(kind == Kind::Plugin ? PluginClass() : "PeerConsoleTestWindow", reply) {}
};

class PeerConsoleTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(g_peerSim.empty()) << "pass --peer=<path of peer_sim.exe>"; }

  // Types one line and returns the console's next log line with `prefix`.
  static std::string Type(PeerProcess& peer, const std::string& line, const std::string& prefix) {
    peer.Write(line);
    return peer.WaitLine(prefix).value_or("<nothing starting with \"" + prefix + "\" after \"" + line + "\">");
  }
};

TEST_F(PeerConsoleTest, EachCommandSendsItsCodeToTheFoundPluginWindow) {
  RecorderWindow plugin(RecorderWindow::Kind::Plugin, 2001);
  PeerProcess peer(g_peerSim, "QUABO.EXE", {"--interactive", "--plugin-class", PluginClass()});

  EXPECT_EQ(Type(peer, "connect", "   found"), "   found the plug-in window " + Hex(plugin.Handle()) + " (viewer pid " +
                                                   std::to_string(GetCurrentProcessId()) + ")");
  EXPECT_EQ(peer.WaitLine("-> "), "-> connect: reply 2001 (taken)");
  // The path arrives as UTF-8 from a pipe and goes out in the ANSI code page.
  EXPECT_EQ(Type(peer,
                 "load C:\\Mod\xC3\xA9le\\Stra\xC3\x9F"
                 "e 1.ifc",
                 "-> "),
            "-> load C:\\Mod\xC3\xA9le\\Stra\xC3\x9F"
            "e 1.ifc: reply 2001 (taken)");
  EXPECT_EQ(Type(peer, "select {A}  {B} {C}", "-> "), "-> select 3 GUIDs: reply 2001 (taken)");
  EXPECT_EQ(Type(peer, "select", "-> "), "-> select none: reply 2001 (taken)");
  EXPECT_EQ(Type(peer, "view 0A1B2C", "-> "), "-> view: reply 2001 (taken)");
  EXPECT_EQ(Type(peer, "enable-lines", "-> "), "-> enable-lines: reply 2001 (taken)");
  EXPECT_EQ(Type(peer, "disable-lines", "-> "), "-> disable-lines: reply 2001 (taken)");
  EXPECT_EQ(Type(peer, "model-path", "-> "), "-> model-path: reply 2001 (taken)");
  EXPECT_EQ(Type(peer, "selection", "-> "), "-> selection: reply 2001 (taken)");
  EXPECT_EQ(Type(peer, "leave", "-> "), "-> leave: reply 2001 (taken)");
  EXPECT_EQ(Type(peer, "send 7 a\\r\\nb\\x01", "-> "), "-> send 7: reply 2001 (taken)");
  EXPECT_EQ(Type(peer, "disconnect", "-> "), "-> disconnect: reply 2001 (taken)");

  const std::vector<std::pair<ULONG_PTR, std::string>> expected = {
      {1, "\0"s},
      {5, "C:\\Mod\xE9le\\Stra\xDF"
          "e 1.ifc\0"s},
      {6, "{A}\r\n{B}\r\n{C}\0"s},
      {6, "0\0"s},
      {8, "0A1B2C\0"s},
      {9, "active\0"s},
      {9, "inactive\0"s},
      {10, "\0"s},
      {11, "\0"s},
      {12, "\0"s},
      {7, "a\r\nb\x01\0"s},
      {2, "\0"s},
  };
  const auto& got = plugin.Deliveries();
  ASSERT_EQ(got.size(), expected.size());
  for (std::size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].code, expected[i].first) << i;
    EXPECT_EQ(got[i].bytes, expected[i].second) << i;
    EXPECT_EQ(got[i].from, peer.Window()) << i;
  }
  // Found once, then kept.
  EXPECT_FALSE(peer.WaitLine("   found", 200));
}

TEST_F(PeerConsoleTest, SelectFileSendsTheGuidsOfTheFile) {
  RecorderWindow plugin(RecorderWindow::Kind::Plugin, 2001);
  PeerProcess peer(g_peerSim, "QUABO.EXE", {"--interactive", "--plugin-class", PluginClass()});
  char dir[MAX_PATH + 1];
  GetTempPathA(sizeof dir, dir);
  const std::string file = std::string(dir) + "peer_console_guids." + std::to_string(GetCurrentProcessId()) + ".txt";
  std::ofstream(file, std::ios::binary)
      << "  2O2Fr$t4X7Zf8NOew3FLOH\r\n\r\n3vB2YO$MX4xv5uCqZZG05x \n0M1ZM$H2L5Kh0y6r1AHXkY";

  EXPECT_EQ(Type(peer, "select-file " + file, "-> "), "-> select-file 3 GUIDs: reply 2001 (taken)");
  EXPECT_EQ(Type(peer, "select-file " + file + ".missing", "? "), "? cannot read " + file + ".missing");
  EXPECT_EQ(Type(peer, "select-file", "? "), "? usage: select-file FILE");
  DeleteFileA(file.c_str());

  ASSERT_EQ(plugin.Deliveries().size(), 1u);
  EXPECT_EQ(plugin.Deliveries()[0].code, 6u);
  EXPECT_EQ(plugin.Deliveries()[0].bytes,
            "2O2Fr$t4X7Zf8NOew3FLOH\r\n3vB2YO$MX4xv5uCqZZG05x\r\n0M1ZM$H2L5Kh0y6r1AHXkY\0"s);
}

TEST_F(PeerConsoleTest, LogShowsWhatThePluginSendsReadably) {
  RecorderWindow plugin(RecorderWindow::Kind::Other, 2001);
  PeerProcess peer(g_peerSim, "QUABO.EXE", {"--interactive", "--plugin-class", PluginClass()});

  EXPECT_EQ(plugin.SendText(peer.Window(), 1, "32|Bim Start\0"s), 1u);
  EXPECT_EQ(peer.WaitLine("<- "), "<- Bim Start from viewer pid 32 (code 1, 13 bytes)");
  EXPECT_EQ(peer.WaitLine("   (the plug-in window"),
            "   (the plug-in window is " + Hex(plugin.Handle()) + "; commands go there now)");

  plugin.SendText(peer.Window(), 4,
                  "32|C:\\Stra\xDF"
                  "e.ifc\0"s);
  EXPECT_EQ(peer.WaitLine("<- "), "<- model path C:\\Stra\xC3\x9F"
                                  "e.ifc from viewer pid 32 (code 4, 17 bytes)");

  plugin.SendText(peer.Window(), 6, "32|{G1}\r\n{G2}\r\n{G3}\0"s);
  EXPECT_EQ(peer.WaitLine("<- "), "<- selection: 3 GUIDs from viewer pid 32 (code 6, 20 bytes)");
  EXPECT_EQ(peer.WaitLine("     "), "     1. {G1}");
  EXPECT_EQ(peer.WaitLine("     "), "     2. {G2}");
  EXPECT_EQ(peer.WaitLine("     "), "     3. {G3}");

  EXPECT_EQ(Type(peer, "reply 2000", "   messages"), "   messages from the plug-in are answered with 2000");
  EXPECT_EQ(plugin.SendText(peer.Window(), 9, "32|0\0"s), 2000u);
  EXPECT_EQ(peer.WaitLine("<- "), "<- create measurement lines: none from viewer pid 32 (code 9, 5 bytes)");
  plugin.SendText(peer.Window(), 9, "32|{G9}\0"s);
  EXPECT_EQ(peer.WaitLine("<- "), "<- create measurement lines: 1 GUID from viewer pid 32 (code 9, 8 bytes)");
  EXPECT_EQ(peer.WaitLine("     "), "     1. {G9}");

  plugin.SendText(peer.Window(), 2, "32|BIM end\0"s);
  EXPECT_EQ(peer.WaitLine("<- "), "<- BIM end from viewer pid 32 (code 2, 11 bytes)");
  plugin.SendText(peer.Window(), 12, "odd\x01\0"s);
  EXPECT_EQ(peer.WaitLine("<- "), "<- \"odd\\x01\" (code 12, 5 bytes)");
  // The sender became the target; it appears only once.
  EXPECT_FALSE(peer.WaitLine("   (the plug-in window", 200));
}

TEST_F(PeerConsoleTest, TheSenderIsPreferredOverTheFoundWindow) {
  RecorderWindow found(RecorderWindow::Kind::Plugin, 2001);
  RecorderWindow sender(RecorderWindow::Kind::Other, 21);
  PeerProcess peer(g_peerSim, "QUABO.EXE", {"--interactive", "--plugin-class", PluginClass()});
  sender.SendText(peer.Window(), 1, "40|Bim Start\0"s);
  EXPECT_EQ(Type(peer, "load C:\\x.ifc", "-> "), "-> load C:\\x.ifc: reply 21 (model not loaded)");
  EXPECT_TRUE(found.Deliveries().empty());
  ASSERT_EQ(sender.Deliveries().size(), 1u);
  EXPECT_EQ(sender.Deliveries()[0].code, 5u);

  EXPECT_EQ(Type(peer, "target " + Hex(found.Handle()), "   target"), "   target " + Hex(found.Handle()));
  EXPECT_EQ(Type(peer, "connect", "-> "), "-> connect: reply 2001 (taken)");
  EXPECT_EQ(found.Deliveries().size(), 1u);
}

TEST_F(PeerConsoleTest, WithoutAPluginWindowNothingIsSentAndMistakesAreExplained) {
  PeerProcess peer(g_peerSim, "QUABO.EXE", {"--interactive", "--plugin-class", PluginClass()});
  EXPECT_EQ(Type(peer, "connect", "   no plug-in"),
            "   no plug-in window found: is the viewer running with the plug-in loaded?");
  EXPECT_EQ(peer.WaitLine("-> "), "-> connect: not sent");

  EXPECT_EQ(Type(peer, "lines on", "? "), "? unknown command \"lines on\"; type \"help\" for the list");
  EXPECT_EQ(Type(peer, "view", "? "), "? usage: view HEX");
  EXPECT_EQ(Type(peer, "load", "? "), "? usage: load PATH");
  EXPECT_EQ(Type(peer, "send x", "? "), "? usage: send CODE [TEXT]");
  EXPECT_EQ(Type(peer, "send 6 bad\\q", "? "), "? usage: send CODE [TEXT]");
  EXPECT_EQ(Type(peer, "reply many", "? "), "? usage: reply N");

  peer.Write("help");
  ASSERT_TRUE(peer.WaitLine("  quit"));
  std::string help;
  for (const auto& line : peer.Lines()) help += line + "\n";
  for (const char* command :
       {"connect", "disconnect", "load PATH", "select [GUID ...]", "select-file FILE", "view HEX", "enable-lines",
        "disable-lines", "model-path", "selection", "leave", "send CODE", "target", "reply N", "help"}) {
    EXPECT_NE(help.find("\n  " + std::string(command)), std::string::npos) << command;
  }
  EXPECT_NE(help.find("Aufma\xC3\x9Fzeilen erzeugen"), std::string::npos);

  peer.Write("quit");
  EXPECT_TRUE(peer.WaitForExit(10000));
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.starts_with("--peer=")) g_peerSim = arg.substr(7);
  }
  return RUN_ALL_TESTS();
}
