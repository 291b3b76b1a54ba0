// What the viewer sees when the plug-in starts and stops.
#include "controller_fixture.h"

using Plugin = StartedPlugin;

TEST_F(Plugin, StartCreatesBothButtonsWithTheirTextsHintsImagesAndStates) {
  Start();
  ASSERT_EQ(viewer.buttons.size(), 2u);
  const auto& status = viewer.buttons.at(Controller().StatusButton());
  EXPECT_EQ(fakes::Narrow(status.text), "Inaktiv");
  EXPECT_EQ(fakes::Narrow(status.hint),
            "Das Quabo Plugin ist inaktiv. Es konnte keine Verbindung zwischen Quabo und BimVision aufgebaut werden.");
  EXPECT_EQ(fakes::Narrow(status.image),
            "C:\\Program Files\\Datacomp\\BIM Vision\\plugins\\VidudUDE_data\\VidudUDE_32x32.png");
  EXPECT_TRUE(status.enabled);
  const auto& lines = viewer.buttons.at(Controller().LinesButton());
  EXPECT_EQ(lines.text, L"Aufma\u00DFzeilen erzeugen");
  EXPECT_EQ(
      lines.hint,
      L"Sendet die GUIDs der ausgew\u00E4hlten Bauteile an Quabo und erzeugt pro Bauteil eine Aufma\u00DFzeile in "
      L"der Quabo Aufma\u00DFerfassung (Dlg. 4213). ");
  EXPECT_EQ(fakes::Narrow(lines.image),
            "C:\\Program Files\\Datacomp\\BIM Vision\\plugins\\VidudUDE_data\\AufmErzeugen_32x32.png");
  EXPECT_FALSE(lines.enabled);
  EXPECT_NE(status.onClick, lines.onClick);
  for (const auto& call : viewer.calls) EXPECT_EQ(call.numbers.at(0), kPluginHandle) << call.name;
  EXPECT_FALSE(Controller().Active());
  EXPECT_TRUE(Controller().LastGuids().empty());
  EXPECT_EQ(Controller().ProcessId(), kViewerPid);
  EXPECT_EQ(Controller().HostWindow(), kHost);
}

TEST_F(Plugin, StartRegistersHandlersBeforeButtonsAndAnnouncesLast) {
  AddTwoPeers();
  Start();
  EXPECT_EQ(viewer.CallNames(),
            (std::vector<std::string>{"on_selection_change", "on_model_load", "create_button", "set_button_text",
                                      "set_button_image", "enable_button", "create_button", "set_button_text",
                                      "set_button_image", "enable_button"}));
  ASSERT_EQ(system.sent.size(), 2u);
  EXPECT_EQ(Sent(1, 0), "Bim Start");
  EXPECT_EQ(system.sent[0].target, kPeerA);
  EXPECT_EQ(system.sent[1].target, kPeerB);
  EXPECT_EQ(system.sent[0].sender, fakes::FakePlatform::kMessageWindow);
}

TEST_F(Plugin, CommandArrivingDuringStartMessageFindsButtonsReady) {
  AddTwoPeers();
  bool enabledDuringStart = false;
  system.duringSend = [&](const fakes::Sent& s) {
    if (s.code != 1 || s.target != kPeerA) return;
    Command(kCommandConnect, "");
    Command(kCommandLinesButton, "active");
    enabledDuringStart = viewer.buttons.at(2).enabled;
  };
  Start();
  EXPECT_TRUE(enabledDuringStart);
  EXPECT_EQ(fakes::Narrow(viewer.buttons.at(1).text), "Aktiv");
  // The start message keeps the targets it chose; later messages go to A only.
  EXPECT_EQ(system.SentWithCode(1).size(), 2u);
  system.sent.clear();
  Controller().Message_Sender("x", 4);
  ASSERT_EQ(system.sent.size(), 1u);
  EXPECT_EQ(system.sent[0].target, kPeerA);
}

TEST_F(Plugin, MissingProgramFilesFolderGivesPathFromDriveRoot) {
  system.programFiles.clear();
  Start();
  EXPECT_EQ(fakes::Narrow(viewer.buttons.at(1).image),
            "\\Datacomp\\BIM Vision\\plugins\\VidudUDE_data\\VidudUDE_32x32.png");
}

TEST_F(Plugin, StatusButtonClickSendsNothingAndChangesNothing) {
  AddTwoPeers();
  Start();
  const auto sentBefore = system.sent.size();
  const auto callsBefore = viewer.calls.size();
  viewer.buttons.at(Controller().StatusButton()).onClick();
  EXPECT_EQ(system.sent.size(), sentBefore);
  EXPECT_EQ(viewer.calls.size(), callsBefore);
}

TEST_F(Plugin, StopSaysGoodbyeToDiscoveredPeersThenReleasesTheWindow) {
  AddTwoPeers();
  Start();
  Connect(kPeerB);
  Command(kCommandDisconnect, "", kPeerB);
  system.sent.clear();
  plugin::StopPlugin(TestControllerInstance());
  EXPECT_EQ(TestControllerInstance(), nullptr);
  EXPECT_FALSE(system.messageWindowAlive);
  ASSERT_EQ(system.sent.size(), 2u);
  EXPECT_EQ(Sent(2, 0), "BIM end");
  EXPECT_EQ(system.sent[0].target, kPeerA);
}

TEST_F(Plugin, StopWithoutPeersSendsNothingAndStillStops) {
  Start();
  plugin::StopPlugin(TestControllerInstance());
  EXPECT_TRUE(system.sent.empty());
  EXPECT_EQ(TestControllerInstance(), nullptr);
  EXPECT_FALSE(system.messageWindowAlive);
}
