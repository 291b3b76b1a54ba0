// The plug-in in a viewer under Wine: its exports, its buttons, and the
// start and stop messages that real peer processes receive.
#include <shlobj.h>

#include "plugin_session.h"
#include "tools/viewer_sim/text.h"

using viewer_sim::ToUtf8;

namespace {

const std::wstring kStatusHint =
    L"Das Quabo Plugin ist inaktiv. Es konnte keine Verbindung zwischen Quabo und BimVision aufgebaut werden.";
const std::wstring kLinesText = L"Aufma\u00DFzeilen erzeugen";
const std::wstring kLinesHint =
    L"Sendet die GUIDs der ausgew\u00E4hlten Bauteile an Quabo und erzeugt pro Bauteil eine Aufma\u00DFzeile in der "
    L"Quabo Aufma\u00DFerfassung (Dlg. 4213). ";

std::wstring ImagePath(const std::wstring& file) {
  wchar_t folder[MAX_PATH + 1] = {};
  SHGetSpecialFolderPathW(nullptr, folder, CSIDL_PROGRAM_FILES, FALSE);
  return std::wstring(folder) + L"\\Datacomp\\BIM Vision\\plugins\\VidudUDE_data\\" + file;
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

using PluginFrame = PluginSession;

TEST_F(PluginFrame, ExportsAnswerVersionAndDescriptionBeforeAndAfterLoad) {
  plugin = std::make_unique<viewer_sim::PluginHost>(WinePath(VIDUDUDE_DLL));
  ASSERT_TRUE(plugin->Loaded());
  EXPECT_TRUE(plugin->HasAllExports());
  const auto version = plugin->ApiVersion({123, 456});
  ASSERT_TRUE(version.has_value());
  EXPECT_EQ(version->major, 5);
  EXPECT_EQ(version->minor, 41);
  const auto before = plugin->Info();
  ASSERT_TRUE(before.has_value());
  EXPECT_EQ(before->name, "Quabo BimVision DLL");
  EXPECT_EQ(before->description, "Plugin zur Anbindung Quabo <=> BIM Vision");
  EXPECT_TRUE(before->webAddress && Contains(*before->webAddress, ".example"));
  EXPECT_TRUE(before->email && Contains(*before->email, "@"));
  EXPECT_TRUE(before->producer && !before->producer->empty());
  EXPECT_EQ(before->reserved1, 0);
  EXPECT_EQ(before->reserved2, 0);
  ASSERT_TRUE(plugin->Load(kPluginHandle, 0, hostWindow.Handle()));
  const auto after = plugin->Info();
  ASSERT_TRUE(after.has_value());
  EXPECT_EQ(after->name, before->name);
  EXPECT_EQ(after->producer, before->producer);
}

TEST_F(PluginFrame, DllCarriesItsVersionResource) {
  const std::wstring dll = WinePath(VIDUDUDE_DLL);
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(dll.c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::vector<char> data(size);
  ASSERT_TRUE(GetFileVersionInfoW(dll.c_str(), 0, size, data.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, (static_cast<DWORD>(VIDUDUDE_VERSION_MAJOR) << 16) | VIDUDUDE_VERSION_MINOR);
  wchar_t* name = nullptr;
  ASSERT_TRUE(VerQueryValueW(data.data(), L"\\StringFileInfo\\040704E4\\OriginalFilename",
                             reinterpret_cast<void**>(&name), &length));
  EXPECT_EQ(std::wstring(name), L"VidudUDE.DLL");
}

TEST_F(PluginFrame, HiddenWindowBelongsToThePluginAndGoesWithIt) {
  LoadPlugin();
  const HWND window = PluginWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_FALSE(IsWindowVisible(window));
  EXPECT_NE(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOOLWINDOW, 0);
  EXPECT_NE(static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE)) & WS_POPUP, 0u);
  EXPECT_EQ(GetWindowThreadProcessId(window, nullptr), GetCurrentThreadId());
  // The class lives under the plug-in's module, not the viewer's.
  WNDCLASSEXA cls{};
  cls.cbSize = sizeof(cls);
  EXPECT_TRUE(GetClassInfoExA(plugin->Module(), "VidudUDE.MessageWindow", &cls));
  EXPECT_FALSE(GetClassInfoExA(GetModuleHandleA(nullptr), "VidudUDE.MessageWindow", &cls));
  UnloadPlugin();
  EXPECT_EQ(PluginWindow(), nullptr);
  EXPECT_FALSE(GetClassInfoExA(plugin->Module(), "VidudUDE.MessageWindow", &cls));
}

TEST_F(PluginFrame, ButtonsAfterLoadCarryTheirTextsHintsImagesAndStates) {
  LoadPlugin();
  const auto buttons = sim.Buttons();
  ASSERT_EQ(buttons.size(), 2u);
  EXPECT_EQ(buttons[0].text, L"Inaktiv");
  EXPECT_EQ(buttons[0].hint, kStatusHint);
  EXPECT_EQ(buttons[0].image, ImagePath(L"VidudUDE_32x32.png"));
  EXPECT_TRUE(buttons[0].enabled);
  EXPECT_EQ(buttons[1].text, kLinesText);
  EXPECT_EQ(buttons[1].hint, kLinesHint);
  EXPECT_EQ(buttons[1].image, ImagePath(L"AufmErzeugen_32x32.png"));
  EXPECT_FALSE(buttons[1].enabled);
  // The order of these calls is the logic's, checked once natively
  // (Plugin.StartRegistersHandlersBeforeButtonsAndAnnouncesLast).
  for (const auto& call : sim.Log().All()) EXPECT_EQ(call.Number("plugin"), kPluginHandle) << call.Line();
  EXPECT_TRUE(sim.MessageBoxes().empty());
}

TEST_F(PluginFrame, StartReachesEveryPeerInSnapshotOrderWithThisProcessId) {
  auto& a = StartPeer("QUABO.EXE", {"--reply", "11"});
  auto& b = StartPeer("QUABO_BIMPROJECT.EXE", {"--reply", "22"});
  // Each peer answers the start with a selection of its own name; the one
  // that the plug-in reached last leaves its text as the last GUID list.
  a.Command("on 1 send 6 fromA");
  b.Command("on 1 send 6 fromB");
  LoadPlugin();
  for (PeerProcess* peer : {&a, &b}) {
    const auto start = NextMessage(*peer);
    EXPECT_EQ(start.code, 1u);
    EXPECT_EQ(start.bytes, Payload("Bim Start"));
    EXPECT_EQ(start.cb, start.bytes.size());
  }
  const auto order = SnapshotOrder({a.Pid(), b.Pid()});
  ASSERT_EQ(order.size(), 2u);
  EXPECT_FALSE(sim.Click(ButtonId(kLinesText)));  // disabled until a peer enables it
  a.Command("send 9 active");
  ASSERT_TRUE(sim.Click(ButtonId(kLinesText)));
  const auto lines = NextMessage(a);
  EXPECT_EQ(lines.code, 9u);
  EXPECT_EQ(lines.bytes, Payload(order.back() == a.Pid() ? "fromA" : "fromB"));
}

TEST_F(PluginFrame, SixPeersFiveAreReached) {
  std::vector<PeerProcess*> six;
  for (int i = 0; i < 6; ++i) six.push_back(&StartPeer(i % 2 ? "quabo.exe" : "QUABO.EXE"));
  LoadPlugin();
  std::vector<DWORD> pids;
  for (auto* p : six) pids.push_back(p->Pid());
  const auto order = SnapshotOrder(pids);
  ASSERT_EQ(order.size(), 6u);
  for (auto* p : six) Settle(*p);
  for (auto* p : six) {
    const bool reached = !p->Received().empty();
    EXPECT_EQ(reached, p->Pid() != order.back()) << "pid " << p->Pid();
  }
}

TEST_F(PluginFrame, OnlyExactPeerNamesAndMainFormClassesAreReached) {
  auto& mixed = StartPeer("Quabo.Exe");
  auto& prefixed = StartPeer("MYQUABO.EXE");
  auto& suffixed = StartPeer("QUABO.EXE.exe");
  auto& longerClass = StartPeer("QUABO_BIMPROJECT.EXE", {"--class", "TMainFormX"});
  auto& shorterClass = StartPeer("QUABO.EXE", {"--class", "TMain"});
  LoadPlugin();
  for (PeerProcess* p : {&mixed, &prefixed, &suffixed, &longerClass, &shorterClass}) Settle(*p);
  EXPECT_EQ(mixed.Received().size(), 1u);
  EXPECT_EQ(longerClass.Received().size(), 1u);
  EXPECT_TRUE(prefixed.Received().empty());
  EXPECT_TRUE(suffixed.Received().empty());
  EXPECT_TRUE(shorterClass.Received().empty());
}

TEST_F(PluginFrame, FirstPeerWithoutMainWindowDoesNotSilenceTheNext) {
  auto& noMainWindow = StartPeer("QUABO.EXE", {"--class", "TForm1"});
  auto& second = StartPeer("QUABO.EXE");
  ASSERT_EQ(SnapshotOrder({noMainWindow.Pid(), second.Pid()}).front(), noMainWindow.Pid());
  LoadPlugin();
  EXPECT_EQ(NextMessage(second).bytes, Payload("Bim Start"));
  Settle(noMainWindow);
  EXPECT_TRUE(noMainWindow.Received().empty());
}

TEST_F(PluginFrame, UnloadSaysGoodbyeAndStatusClickSaysNothing) {
  auto& peer = StartPeer("QUABO.EXE");
  LoadPlugin();
  EXPECT_EQ(NextMessage(peer).code, 1u);
  ASSERT_TRUE(sim.Click(ButtonId(L"Inaktiv")));
  Settle(peer);
  EXPECT_EQ(peer.Received().size(), 1u);
  UnloadPlugin();
  const auto end = NextMessage(peer);
  EXPECT_EQ(end.code, 2u);
  EXPECT_EQ(end.bytes, Payload("BIM end"));
  EXPECT_EQ(end.cb, Payload("BIM end").size());
}

TEST_F(PluginFrame, HostsLackingViewerFunctionsStillRunThePlugin) {
  const std::wstring dll = L"\"" + WinePath(VIDUDUDE_DLL) + L"\"";
  const auto bare = RunProgram(L"\"" + WinePath(BARE_HOST_EXE) + L"\" " + dll);
  EXPECT_EQ(bare.exitCode, 0u) << bare.output;
  EXPECT_TRUE(Contains(bare.output, "on_plugin_unload: called")) << bare.output;
  EXPECT_FALSE(Contains(bare.output, "message box")) << bare.output;

  const auto partial = RunProgram(L"\"" + WinePath(PARTIAL_HOST_EXE) + L"\" " + dll);
  EXPECT_EQ(partial.exitCode, 0u) << partial.output;
  EXPECT_TRUE(Contains(partial.output, "text=\"Inaktiv\"")) << partial.output;
  EXPECT_TRUE(Contains(partial.output, "enable_button(plugin=81, button=2, flag=0x0)")) << partial.output;
  EXPECT_TRUE(Contains(partial.output, "on_plugin_unload: called")) << partial.output;
}
