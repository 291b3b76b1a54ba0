// Which processes are peers, which of their windows is the main window, and
// how the five slots fill.
#include <gtest/gtest.h>

#include "fakes.h"
#include "peer_link/peer_discovery.h"

using namespace peer_link;

TEST(PeerNames, OnlyTheTwoNamesInAnyLetterCase) {
  EXPECT_TRUE(IsPeerExecutable("QUABO.EXE"));
  EXPECT_TRUE(IsPeerExecutable("quabo.exe"));
  EXPECT_TRUE(IsPeerExecutable("Quabo_BimProject.Exe"));
  EXPECT_FALSE(IsPeerExecutable("QUABO.EXE.BAK"));
  EXPECT_FALSE(IsPeerExecutable("MYQUABO.EXE"));
  EXPECT_FALSE(IsPeerExecutable(" QUABO.EXE"));
  EXPECT_FALSE(IsPeerExecutable("QUABO"));
  EXPECT_FALSE(IsPeerExecutable(""));
}

TEST(PeerNames, UpperCasingTouchesOnlyAsciiLetters) {
  EXPECT_EQ(UpperCaseAscii("abz_AZ09.\xe4\xdf{"), "ABZ_AZ09.\xe4\xdf{");
}

TEST(ClassNames, CopiedPrefixMatchesCaseSensitively) {
  fakes::FakePlatform system;
  system.windows = {{1, 10, "TMain"}, {2, 10, "tmainform"}, {3, 10, "TMainFormX"}, {4, 10, "TMainForm"}};
  // A longer class name is cut to the wanted length by the system's copy.
  EXPECT_EQ(FindProcessWindow(system, 10, "TMainForm"), 3u);
  EXPECT_EQ(FindProcessWindow(system, 11, "TMainForm"), 0u);
  system.windows = {{1, 10, "TMain"}, {2, 10, "tmainform"}, {5, 10, ""}};
  EXPECT_EQ(FindProcessWindow(system, 10, "TMainForm"), 0u);
  EXPECT_FALSE(ClassNameMatches("", ""));
}

TEST(Slots, OnePerPeerInSnapshotOrderAtMostFive) {
  fakes::FakePlatform system;
  for (std::uint32_t pid = 1; pid <= 6; ++pid) {
    system.processes.push_back({pid, pid % 2 ? "QUABO.EXE" : "quabo_bimproject.exe"});
    system.windows.push_back({100 + pid, pid, "TMainForm"});
  }
  system.processes.insert(system.processes.begin() + 2, {50, "explorer.exe"});
  EXPECT_EQ(FindPeerWindows(system), (PeerWindows{101, 102, 103, 104, 105}));
}

TEST(Slots, PeerWithoutMainWindowKeepsItsEmptySlot) {
  fakes::FakePlatform system;
  system.processes = {{1, "QUABO.EXE"}, {2, "QUABO.EXE"}};
  system.windows = {{201, 1, "TForm"}, {202, 2, "TMainForm"}};
  EXPECT_EQ(FindPeerWindows(system), (PeerWindows{0, 202, 0, 0, 0}));
}

TEST(Slots, NoSnapshotMeansNoTargets) {
  fakes::FakePlatform system;
  system.processes = {{1, "QUABO.EXE"}};
  system.windows = {{201, 1, "TMainForm"}};
  system.snapshotFails = true;
  EXPECT_EQ(FindPeerWindows(system), PeerWindows{});
}
