// Letters outside the ANSI code page: what the peer reads names the right
// file or none, so does the path that the peer header makes for a load, the
// plug-in's German texts reach the viewer unchanged, and the index holds
// GUIDs as the system spells them.
#include "peer_sdk/vidudude_peer.h"

#include <filesystem>
#include <optional>
#include <tuple>

#include "plugin_session.h"

namespace {

namespace fs = std::filesystem;

using FileIdentity = std::tuple<DWORD, DWORD, DWORD>;

std::optional<FileIdentity> Identity(HANDLE file) {
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info{};
  const BOOL ok = GetFileInformationByHandle(file, &info);
  CloseHandle(file);
  if (!ok) return std::nullopt;
  return FileIdentity{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The file a peer opens with the 8-bit text, as the system's ANSI functions
// read it.
std::optional<FileIdentity> OpenedByPeer(const std::string& ansiPath) {
  return Identity(CreateFileA(ansiPath.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr));
}

std::optional<FileIdentity> IdentityOf(const fs::path& path) {
  return Identity(CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr));
}

void CopyDemoModel(const fs::path& to) {
  fs::create_directories(to.parent_path());
  fs::copy_file(WinePath(DEMO_MODEL), to, fs::copy_options::overwrite_existing);
}

}  // namespace

class OutsideTheCodePage : public PluginSession {
 protected:
  void SetUp() override {
    ASSERT_EQ(GetACP(), 1252u);
    root = fs::temp_directory_path() / ("vidudude-" + std::to_string(GetCurrentProcessId()));
    fs::remove_all(root);
    peer = &StartPeer("QUABO.EXE");
    LoadPlugin();
    NextMessageOfCode(*peer, 1);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(root, ignored);
  }
  // The text of the next message of the code given.
  std::string NextText(std::uint32_t code) {
    const auto message = NextMessageOfCode(*peer, code);
    const std::size_t bar = message.bytes.find('|');
    return message.bytes.substr(bar + 1, message.bytes.size() - bar - 2);
  }
  // Wine makes a short name from the long one alone, so another folder may
  // have it as its own name; the system then opens that folder by it. Makes
  // a model in "Łódź" and, first, one in a decoy folder whose real name is
  // that short name.
  void MakeDecoyOwningTheShortName(fs::path& model, fs::path& decoy) {
    const fs::path folder = root / L"Projekty" / L"\u0141\u00F3d\u017A";
    fs::create_directories(folder);
    wchar_t alias[MAX_PATH];
    ASSERT_GT(GetShortPathNameW(folder.c_str(), alias, MAX_PATH), 0u);
    decoy = root / L"Projekty" / fs::path(alias).filename() / "dom.ifc";
    fs::remove(folder);
    CopyDemoModel(decoy);
    model = folder / "dom.ifc";
    CopyDemoModel(model);
    ASSERT_TRUE(IdentityOf(decoy));
    ASSERT_GT(GetShortPathNameW(model.c_str(), alias, MAX_PATH), 0u);
    ASSERT_EQ(IdentityOf(alias), IdentityOf(decoy)) << "the short name is the other folder's";
  }
  fs::path root;
  PeerProcess* peer = nullptr;
};

TEST_F(OutsideTheCodePage, ModelPathNamesTheSameFileOrNone) {
  // "Łódź" has two letters that Windows-1252 lacks; its best fit "Lódz" is
  // a decoy with a model of its own.
  const fs::path folder = root / L"Projekty" / L"\u0141\u00F3d\u017A";
  const fs::path decoyFolder = root / L"Projekty" / L"L\u00F3dz";
  CopyDemoModel(folder / "dom.ifc");
  CopyDemoModel(decoyFolder / "dom.ifc");
  CopyDemoModel(decoyFolder / "weg.ifc");

  ASSERT_TRUE(sim.LoadModel(folder / "dom.ifc").ok());
  const std::string sent = NextText(4);
  EXPECT_EQ(OpenedByPeer(sent), IdentityOf(folder / "dom.ifc")) << sent;
  EXPECT_NE(OpenedByPeer(sent), IdentityOf(decoyFolder / "dom.ifc")) << sent;

  // A file that is gone has no short form: the text names no file, and not
  // the decoy beside the look-alike folder either.
  sim.SetModel(sim.CurrentModel(), (folder / "weg.ifc").wstring());
  ASSERT_TRUE(sim.FireModelLoad());
  const std::string lossy = NextText(4);
  EXPECT_NE(lossy.find('?'), std::string::npos) << lossy;
  EXPECT_EQ(OpenedByPeer(lossy), std::nullopt) << lossy;
}

TEST_F(OutsideTheCodePage, ModelPathIsNoShortNameThatAnotherFolderOwns) {
  fs::path model, decoy;
  ASSERT_NO_FATAL_FAILURE(MakeDecoyOwningTheShortName(model, decoy));
  ASSERT_TRUE(sim.LoadModel(model).ok());
  const std::string sent = NextText(4);
  EXPECT_NE(OpenedByPeer(sent), IdentityOf(decoy)) << sent;
}

TEST_F(OutsideTheCodePage, PeerHeaderPathNamesTheSameFileOrNone) {
  const fs::path folder = root / L"Projekty" / L"\u0141\u00F3d\u017A";
  const fs::path decoyFolder = root / L"Projekty" / L"L\u00F3dz";
  CopyDemoModel(folder / "dom.ifc");
  CopyDemoModel(decoyFolder / "dom.ifc");
  char ansi[MAX_PATH];
  ASSERT_TRUE(vidudude_path_to_ansi((folder / "dom.ifc").c_str(), ansi, sizeof ansi));
  EXPECT_EQ(OpenedByPeer(ansi), IdentityOf(folder / "dom.ifc")) << ansi;
  ASSERT_TRUE(vidudude_path_to_ansi((decoyFolder / "dom.ifc").c_str(), ansi, sizeof ansi));
  EXPECT_EQ(std::string(ansi).find("~"), std::string::npos) << "a path of the code page goes as it is: " << ansi;
  // A file that is not there has no short name: the path cannot go.
  EXPECT_FALSE(vidudude_path_to_ansi((folder / "weg.ifc").c_str(), ansi, sizeof ansi));
}

TEST_F(OutsideTheCodePage, PeerHeaderPathIsNoShortNameThatAnotherFolderOwns) {
  fs::path model, decoy;
  ASSERT_NO_FATAL_FAILURE(MakeDecoyOwningTheShortName(model, decoy));
  char ansi[MAX_PATH] = "untouched";
  EXPECT_FALSE(vidudude_path_to_ansi(model.c_str(), ansi, sizeof ansi)) << ansi;
  EXPECT_STREQ(ansi, "");
  ASSERT_TRUE(vidudude_path_to_ansi(decoy.c_str(), ansi, sizeof ansi));
  EXPECT_EQ(OpenedByPeer(ansi), IdentityOf(decoy)) << ansi;
}

// The peer's 8-bit path is read in the ANSI code page (in Windows-1252 the
// a-umlaut is the one byte E4), and the model path it gets back is the same.
TEST_F(OutsideTheCodePage, LoadCommandReadsThePathInTheCodePage) {
  const fs::path model = root / L"Projekte" / L"Geb\u00E4ude.ifc";
  CopyDemoModel(model);
  std::string ansi(MAX_PATH, '\0');
  ansi.resize(static_cast<std::size_t>(
      WideCharToMultiByte(1252, 0, model.c_str(), -1, ansi.data(), MAX_PATH, nullptr, nullptr) - 1));
  ASSERT_NE(ansi.find('\xE4'), std::string::npos);
  EXPECT_EQ(SendFromThread(PluginWindow(), 5, ansi + '\0'), 2001);
  EXPECT_EQ(sim.LoadedPath(), model.wstring());
  EXPECT_EQ(NextText(4), ansi);
}

TEST_F(OutsideTheCodePage, GuidLetterOutsideTheCodePageIsNoLookAlike) {
  ASSERT_TRUE(sim.LoadModel(WinePath(DEMO_MODEL)).ok());
  ASSERT_EQ(NextText(4), WinePathA(DEMO_MODEL));
  viewer_sim::Model model = sim.CurrentModel();
  for (auto& property : model.objects.at(0).properties) {
    if (property.name == viewer_sim::kGuidProperty) property.value = L"2O2Fr$t4X7Zf8NOew3F\u01419r";
  }
  sim.SetModel(model, WinePath(DEMO_MODEL));
  ASSERT_EQ(SendCommand(*peer, "send 1"), 2001);
  sim.UserSelect({model.objects.at(0).id});
  EXPECT_EQ(NextText(6), "2O2Fr$t4X7Zf8NOew3F?9r");
}

// Run by its own test entry in a process whose ANSI code page is 1251
// (Cyrillic), where the byte of "ß" in Windows-1252 is a Cyrillic letter.
TEST_F(PluginSession, GermanTextsReachTheViewerUnderACyrillicCodePage) {
  if (GetACP() != 1251) GTEST_SKIP() << "needs ANSI code page 1251, not " << GetACP();
  auto& peer = StartPeer("QUABO.EXE");
  LoadPlugin();
  ASSERT_EQ(sim.Buttons().size(), 2u);
  EXPECT_EQ(ButtonAt(0).text, L"Inaktiv");
  EXPECT_EQ(ButtonAt(0).hint,
            L"Das Quabo Plugin ist inaktiv. Es konnte keine Verbindung zwischen Quabo und BimVision aufgebaut werden.");
  EXPECT_EQ(ButtonAt(1).text, L"Aufma\u00DFzeilen erzeugen");
  EXPECT_EQ(
      ButtonAt(1).hint,
      L"Sendet die GUIDs der ausgew\u00E4hlten Bauteile an Quabo und erzeugt pro Bauteil eine Aufma\u00DFzeile in "
      L"der Quabo Aufma\u00DFerfassung (Dlg. 4213). ");
  ASSERT_EQ(SendCommand(peer, "send 1"), 2001);
  EXPECT_EQ(ButtonAt(0).text, L"Aktiv");
  EXPECT_EQ(ButtonAt(0).hint, L"Das Quabo Plugin ist aktiv");
}

namespace {

std::string Ansi(const std::wstring& wide, UINT codePage, DWORD flags) {
  const int size = WideCharToMultiByte(codePage, flags, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string ansi(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(codePage, flags, wide.c_str(), -1, ansi.data(), size, nullptr, nullptr);
  ansi.pop_back();
  return ansi;
}

}  // namespace

// The index takes ASCII as it is, which holds because every ANSI code page
// spells ASCII in the same bytes, and has the system convert any other
// text, without look-alikes. Run under code pages 1252 and 1251.
TEST_F(PluginSession, IndexSpellsGuidsAsTheSystemInEveryCodePage) {
  std::wstring ascii;
  for (wchar_t letter = 1; letter < 0x80; ++letter) ascii += letter;
  const std::string asciiBytes(ascii.begin(), ascii.end());
  for (const UINT codePage : {874u, 932u, 936u, 949u, 950u, 1250u, 1251u, 1252u, 1253u, 1254u, 1255u, 1256u, 1257u,
                              1258u, static_cast<UINT>(CP_UTF8)}) {
    EXPECT_EQ(Ansi(ascii, codePage, codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS), asciiBytes) << codePage;
  }

  LoadPlugin();
  viewer_sim::Model model = viewer_sim::MakeSampleModel(6);
  const std::pair<std::size_t, std::wstring> guids[] = {{0, L"2O2Fr$t4X7Zf8NOew3FL9r"},
                                                        {1, L"3O2Fr$t4X7Zf8NOew3F\u00E49r"},
                                                        {4, L"4O2Fr$t4X7Zf8NOew3F\u04169r"},
                                                        {5, L"\u0141\u00F3d\u017A"}};
  for (const auto& [object, guid] : guids) {
    for (auto& property : model.objects.at(object).properties) {
      if (property.name == viewer_sim::kGuidProperty) property.value = guid;
    }
  }
  sim.SetModel(model);
  ASSERT_TRUE(sim.FireModelLoad());
  for (const auto& [object, guid] : guids) {
    const std::string spelled = Ansi(guid, CP_ACP, WC_NO_BEST_FIT_CHARS);
    EXPECT_EQ(SendFromThread(PluginWindow(), 6, spelled), 2001);
    EXPECT_EQ(sim.Selection(), std::vector<viewer_sim::ObjectId>{model.objects.at(object).id}) << spelled;
  }
  const std::string lookAlike = Ansi(guids[3].second, CP_ACP, 0);
  ASSERT_NE(lookAlike, Ansi(guids[3].second, CP_ACP, WC_NO_BEST_FIT_CHARS));
  EXPECT_EQ(SendFromThread(PluginWindow(), 6, lookAlike), 2001);
  EXPECT_TRUE(sim.Selection().empty()) << lookAlike;
}
