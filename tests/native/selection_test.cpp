// Selections between viewer and peer, and the GUID index behind them.
#include "controller_fixture.h"

namespace {

constexpr viewer_abi::ObjectId kWall = 0x100000001ull;
constexpr viewer_abi::ObjectId kSlab = 0x200000002ull;
constexpr viewer_abi::ObjectId kDoor = 3;
constexpr viewer_abi::ObjectId kBare = 0x400000000ull;
constexpr viewer_abi::ObjectId kBeam = 0x500000005ull;

}  // namespace

class Selection : public StartedPlugin {
 protected:
  void SetUp() override {
    AddTwoPeers();
    viewer.AddObject(kWall, {L"2O2Fr$t4X7Zf8NOew3FL9r"});
    viewer.AddObject(kSlab, {L"0BTBFw6f90Nfh9rP1dl_39"});
    viewer.AddObject(kDoor, {L"1cwlDi_hLEvPsClAelBNnz", L"28hypXUBvBefc20SI8kfA$"});
    viewer.AddObject(kBare, {});
    Start();
  }
  void LoadModel() {
    viewer.loadedPath = L"C:\\m\\house.ifc";
    viewer.modelHandler();
  }
  std::vector<viewer_abi::ObjectId> SelectedByPlugin() {
    std::vector<viewer_abi::ObjectId> ids;
    for (const auto& c : viewer.Calls("select_many")) {
      EXPECT_EQ(c.numbers, (std::vector<std::int64_t>{kPluginHandle, 1, 2}));
      ids.insert(ids.end(), c.ids.begin(), c.ids.end());
    }
    return ids;
  }
  void PressLines() { viewer.buttons.at(Controller().LinesButton()).onClick(); }
  void PeerSelects(const std::string& text) {
    viewer.calls.clear();
    EXPECT_EQ(Command(kCommandSelect, text), 2001);
  }
};

TEST_F(Selection, ModelLoadBuildsTheIndexThenSendsThePath) {
  system.sent.clear();
  LoadModel();
  const auto* index = Controller().GuidIndex();
  ASSERT_NE(index, nullptr);
  EXPECT_EQ(index->Count(), 4u);
  for (std::size_t i = 1; i < index->Count(); ++i) {
    EXPECT_LT(index->GetItem(i - 1).FGuid, index->GetItem(i).FGuid);
  }
  EXPECT_EQ(Sent(4), "C:\\m\\house.ifc");
  EXPECT_EQ(Controller().ModelPath(), "C:\\m\\house.ifc");
  // Count, then fill; two property queries per object.
  EXPECT_EQ(viewer.Calls("get_all_objects").size(), 2u);
  EXPECT_EQ(viewer.Calls("filter_properties").size(), 7u);
  EXPECT_EQ(viewer.Calls("filter_properties")[0].texts, (std::vector<std::string>{" Element Specific", "Guid"}));
}

TEST_F(Selection, SecondModelReplacesEveryItemOfTheFirst) {
  LoadModel();
  viewer.objects.clear();
  viewer.properties.clear();
  viewer.AddObject(kBare, {L"new"});
  LoadModel();
  ASSERT_EQ(Controller().GuidIndex()->Count(), 1u);
  EXPECT_EQ(Controller().GuidIndex()->GetItem(0).FGuid, "new");
}

TEST_F(Selection, MissingValueTextBecomesAnEmptyGuid) {
  viewer.properties[kBare].push_back({L" Element Specific", L"Guid", std::nullopt});
  LoadModel();
  EXPECT_EQ(Controller().GuidIndex()->GetItem(0).FGuid, "");
  EXPECT_EQ(Controller().GuidIndex()->GetItem(0).FObjectId, kBare);
}

TEST_F(Selection, OnlyTextsBeyondAsciiTakeTheSystemsConversion) {
  const std::vector<std::wstring> guids = {
      L"\x7F ends ASCII", L"23 letters fit in place", L"24 letters on the heap..", L"\x80 is beyond ASCII",
      L"Gr\u00FC\u00DFe", L"\u0141\u00F3d\u017A",     L"an \u00E4 among ASCII",    L"a euro after 23 letters \u20AC"};
  viewer.AddObject(kBeam, guids);
  system.fromWideCalls = 0;
  LoadModel();
  EXPECT_EQ(system.fromWideCalls, 5);
  ASSERT_EQ(Controller().GuidIndex()->Count(), 4 + guids.size());
  for (const auto& guid : guids) {
    std::size_t at = 0;
    ASSERT_TRUE(Controller().GuidIndex()->Find({fakes::Narrow(guid), 0}, at)) << fakes::Narrow(guid);
    EXPECT_EQ(Controller().GuidIndex()->GetItem(at).FObjectId, kBeam);
  }
}

TEST_F(Selection, NoPathSendsNothing) {
  system.sent.clear();
  viewer.modelHandler();
  EXPECT_EQ(Controller().ModelPath(), "");
  EXPECT_TRUE(system.SentWithCode(4).empty());
}

TEST_F(Selection, PeerSelectsByGuidSkippingUnknownLines) {
  LoadModel();
  PeerSelects("unknown\r\n0BTBFw6f90Nfh9rP1dl_39\r\n\r\n\r\n28hypXUBvBefc20SI8kfA$\r\n");
  EXPECT_EQ(SelectedByPlugin(), (std::vector<viewer_abi::ObjectId>{kSlab, kDoor}));
  EXPECT_EQ(viewer.CallNames(),
            (std::vector<std::string>{"get_all_objects_id", "select", "select_many", "select_many", "invalidate"}));
  EXPECT_EQ(viewer.calls[1].ids, std::vector<viewer_abi::ObjectId>{fakes::FakeViewer::kWholeModel});
  EXPECT_EQ(viewer.calls[1].numbers.at(1), 0);
  EXPECT_EQ(Controller().LastGuids(), "unknown\r\n0BTBFw6f90Nfh9rP1dl_39\r\n\r\n\r\n28hypXUBvBefc20SI8kfA$\r\n");
}

TEST_F(Selection, LinesMatchOnlyByExactBytes) {
  LoadModel();
  PeerSelects("0btbfw6f90Nfh9rP1dl_39\r\n 0BTBFw6f90Nfh9rP1dl_39\r\n0BTBFw6f90Nfh9rP1dl_39\n2O2Fr$t4X7Zf8NOew3FL9r");
  EXPECT_TRUE(SelectedByPlugin().empty());
  PeerSelects("2O2Fr$t4X7Zf8NOew3FL9r\r\n2O2Fr$t4X7Zf8NOew3FL9r");
  EXPECT_EQ(SelectedByPlugin(), (std::vector<viewer_abi::ObjectId>{kWall, kWall}));
  PeerSelects("\r\n2O2Fr$t4X7Zf8NOew3FL9r");
  EXPECT_TRUE(SelectedByPlugin().empty());
  EXPECT_EQ(viewer.CallNames().back(), "invalidate");
}

TEST_F(Selection, GuidOnTwoObjectsSelectsOneOfThem) {
  viewer.AddObject(0x900000009ull, {L"2O2Fr$t4X7Zf8NOew3FL9r"});
  LoadModel();
  PeerSelects("2O2Fr$t4X7Zf8NOew3FL9r");
  const auto ids = SelectedByPlugin();
  ASSERT_EQ(ids.size(), 1u);
  EXPECT_TRUE(ids[0] == kWall || ids[0] == 0x900000009ull);
}

TEST_F(Selection, ZeroAndEmptyClearTheSelection) {
  LoadModel();
  PeerSelects("0");
  EXPECT_EQ(viewer.CallNames(), (std::vector<std::string>{"get_all_objects_id", "select", "invalidate"}));
  EXPECT_EQ(Controller().LastGuids(), "0");
  PeerSelects("");
  EXPECT_EQ(Controller().LastGuids(), "");
  system.sent.clear();
  viewer.buttons.at(Controller().LinesButton()).onClick();
  EXPECT_TRUE(system.sent.empty());
}

TEST_F(Selection, BeforeAnyModelNothingMatchesAndTheTextIsKept) {
  viewer.hasModel = false;
  PeerSelects("2O2Fr$t4X7Zf8NOew3FL9r\r\nx");
  EXPECT_EQ(viewer.CallNames(), (std::vector<std::string>{"get_all_objects_id", "invalidate"}));
  EXPECT_EQ(Controller().LastGuids(), "2O2Fr$t4X7Zf8NOew3FL9r\r\nx");
}

TEST_F(Selection, SelectionChangeSendsGuidsOnlyWhileConnected) {
  viewer.selection = {kWall, kBare, kDoor};
  system.sent.clear();
  viewer.selectionHandler();
  EXPECT_TRUE(system.sent.empty());
  EXPECT_TRUE(Controller().LastGuids().empty());
  EXPECT_TRUE(viewer.Calls("get_selected").empty());

  Connect(kPeerB);
  viewer.selectionHandler();
  const std::string expected = "2O2Fr$t4X7Zf8NOew3FL9r\r\n1cwlDi_hLEvPsClAelBNnz\r\n28hypXUBvBefc20SI8kfA$";
  EXPECT_EQ(Sent(6), expected);
  EXPECT_EQ(system.sent.back().target, kPeerB);
  EXPECT_EQ(Controller().LastGuids(), expected);

  viewer.calls.clear();
  PressLines();
  EXPECT_EQ(Sent(9), expected);
  EXPECT_TRUE(viewer.calls.empty());
}

TEST_F(Selection, NothingSelectedSendsZero) {
  Connect();
  viewer.selection.clear();
  viewer.selectionHandler();
  EXPECT_EQ(Sent(6), "0");
  EXPECT_EQ(Controller().LastGuids(), "0");
}

TEST_F(Selection, EmptyFirstValueIsReplacedByTheNext) {
  Connect();
  viewer.properties[kBare].push_back({L" Element Specific", L"Guid", L""});
  viewer.selection = {kBare, kSlab};
  viewer.selectionHandler();
  EXPECT_EQ(Sent(6), "0BTBFw6f90Nfh9rP1dl_39");
  viewer.selection = {kBare};
  system.sent.clear();
  viewer.selectionHandler();
  EXPECT_EQ(Controller().LastGuids(), "");
  EXPECT_TRUE(system.sent.empty());
}

TEST_F(Selection, ViewerReportingPluginSelectionsSendsThemBackNested) {
  LoadModel();
  Connect();
  viewer.afterSelect = [&] { viewer.selectionHandler(); };
  system.sent.clear();
  PeerSelects("0BTBFw6f90Nfh9rP1dl_39\r\n2O2Fr$t4X7Zf8NOew3FL9r");
  ASSERT_EQ(system.SentWithCode(6).size(), 2u);
  EXPECT_EQ(Sent(6, 1), "0BTBFw6f90Nfh9rP1dl_39\r\n2O2Fr$t4X7Zf8NOew3FL9r");
  EXPECT_EQ(Controller().LastGuids(), "0BTBFw6f90Nfh9rP1dl_39\r\n2O2Fr$t4X7Zf8NOew3FL9r");
  EXPECT_EQ(SelectedByPlugin(), (std::vector<viewer_abi::ObjectId>{kSlab, kWall}));
}

TEST_F(Selection, ModelReloadedInsideASelectionKeepsTheLookupsSound) {
  LoadModel();
  Connect();
  int selects = 0;
  viewer.afterSelect = [&] {
    if (++selects == 1) Command(kCommandLoadModel, "C:\\m\\other.ifc");  // the peer loads while the plug-in selects
  };
  viewer.properties.clear();
  viewer.objects.clear();
  viewer.AddObject(kBare, {L"2O2Fr$t4X7Zf8NOew3FL9r"});
  viewer.afterSelect = [&, inner = viewer.afterSelect]() mutable {
    inner();
    if (selects == 1) viewer.modelHandler();
  };
  PeerSelects("0BTBFw6f90Nfh9rP1dl_39\r\n2O2Fr$t4X7Zf8NOew3FL9r");
  EXPECT_EQ(SelectedByPlugin(), (std::vector<viewer_abi::ObjectId>{kSlab, kBare}));
}

TEST_F(Selection, IndexFailureReportsTheCountAndKeepsWhatWasRead) {
  viewer.failFilterOn = kDoor;  // the third of four objects
  LoadModel();
  ASSERT_EQ(system.messageBoxes.size(), 1u);
  EXPECT_EQ(system.messageBoxes[0].first, "Fehler beim Aufbau der oGuidObjIDList\\nAnzahl: 4");
  EXPECT_EQ(system.messageBoxes[0].second, "Object_ID <=> GUID");
  // The wall and the slab were read before the failure; the path still goes out.
  EXPECT_EQ(Controller().GuidIndex()->Count(), 2u);
  EXPECT_EQ(Controller().ModelPath(), "C:\\m\\house.ifc");
}

TEST_F(Selection, SelectionFailureIsReportedAndNothingIsSent) {
  Connect();
  viewer.selection = {kWall, kDoor};
  viewer.failFilterOn = kDoor;
  system.sent.clear();
  viewer.selectionHandler();
  ASSERT_EQ(system.messageBoxes.size(), 1u);
  EXPECT_EQ(system.messageBoxes[0],
            (std::pair<std::string, std::string>{"Fehler beim Schreiben der GUID.QUABO", "SELECTED"}));
  EXPECT_TRUE(system.sent.empty());
  EXPECT_TRUE(Controller().LastGuids().empty());
}

TEST_F(Selection, FailedPeerSelectionEmptiesTheLastList) {
  LoadModel();
  Connect();
  viewer.selection = {kWall};
  viewer.selectionHandler();
  viewer.failSelect = true;
  PeerSelects("2O2Fr$t4X7Zf8NOew3FL9r");
  EXPECT_EQ(Controller().LastGuids(), "");
  EXPECT_TRUE(system.messageBoxes.empty());
  system.sent.clear();
  viewer.buttons.at(Controller().LinesButton()).onClick();
  EXPECT_TRUE(system.sent.empty());
}

// The lines button sends what is selected now: a list that the viewer's
// selection may have left behind is built afresh and sent with code 9 only.
TEST_F(Selection, LinesButtonAfterAModelLoadSendsTheSelectionOfNow) {
  Connect();
  viewer.selection = {kWall};
  viewer.selectionHandler();
  viewer.selection.clear();
  LoadModel();
  system.sent.clear();
  PressLines();
  EXPECT_EQ(Sent(9), "0");
  EXPECT_EQ(Controller().LastGuids(), "0");
  EXPECT_EQ(system.sent.size(), 1u);
}

TEST_F(Selection, LinesButtonSendsAPeerListVerbatimUntilTheSelectionChangesUnheard) {
  system.processes.pop_back();  // peer A alone
  LoadModel();
  const std::string peerList = "unknown\r\n0BTBFw6f90Nfh9rP1dl_39\r\n";
  PeerSelects(peerList);
  system.sent.clear();
  PressLines();
  EXPECT_EQ(Sent(9), peerList);
  // Not connected: the peer does not hear of the user's new selection.
  viewer.selection = {kDoor, kBare, kWall};
  viewer.selectionHandler();
  EXPECT_EQ(system.sent.size(), 1u);
  PressLines();
  const std::string now = "1cwlDi_hLEvPsClAelBNnz\r\n28hypXUBvBefc20SI8kfA$\r\n2O2Fr$t4X7Zf8NOew3FL9r";
  EXPECT_EQ(Sent(9, 1), now);
  EXPECT_EQ(Controller().LastGuids(), now);
  EXPECT_TRUE(system.SentWithCode(6).empty());
  // Kept: the next press asks the viewer nothing.
  viewer.calls.clear();
  PressLines();
  EXPECT_EQ(Sent(9, 2), now);
  EXPECT_TRUE(viewer.calls.empty());
}

TEST_F(Selection, LinesButtonThatCannotReadTheSelectionReportsItAndSendsNothing) {
  PeerSelects("2O2Fr$t4X7Zf8NOew3FL9r");
  viewer.selection = {kSlab, kDoor};
  viewer.selectionHandler();
  viewer.failFilterOn = kDoor;
  system.sent.clear();
  PressLines();
  EXPECT_EQ(system.messageBoxes,
            (std::vector<std::pair<std::string, std::string>>{{"Fehler beim Schreiben der GUID.QUABO", "SELECTED"}}));
  EXPECT_TRUE(system.sent.empty());
  EXPECT_EQ(Controller().LastGuids(), "2O2Fr$t4X7Zf8NOew3FL9r");
}
