// The link client's rules without a window (peer_sdk/vidudude_link.c): its
// queue, a select that replaces the waiting ones, and the link's state as
// searches, connects, watches, "Bim Start" and "BIM end" change it. The
// client's C file is compiled here as C++, its rules alone.
#include <gtest/gtest.h>

#include <vector>

#define VIDUDUDE_LINK_RULES_ONLY
#include "peer_sdk/vidudude_link.c"

namespace {

// Windows are only compared by the rules: any distinct addresses do.
int windowA = 0;
int windowB = 0;
void* const kA = &windowA;
void* const kB = &windowB;
constexpr unsigned long kPid = 32;

class LinkRules : public ::testing::Test {
 protected:
  LinkRules() { rules.search_due = 1; }  // as the client starts

  // Searches (finding `found`) and connects with that reply.
  void Connect(void* found, unsigned long reply = VIDUDUDE_REPLY_TAKEN) {
    ASSERT_EQ(rules_next(&rules), LINK_SEARCH);
    rules_found(&rules, found);
    ASSERT_EQ(rules_next(&rules), LINK_CONNECT);
    ASSERT_EQ(rules.candidate, found);
    ASSERT_EQ(rules_connected(&rules, found, kPid, 1, reply), 1);
  }
  std::vector<unsigned long> Taken() {
    std::vector<unsigned long> commands;
    while (struct link_node* n = rules_take(&rules)) commands.push_back(n->command);
    return commands;
  }

  link_rules rules{};
};

TEST_F(LinkRules, CommandsGoInOrderAndANewSelectReplacesEveryWaitingOne) {
  link_node a{nullptr, VIDUDUDE_CMD_SELECT}, load{nullptr, VIDUDUDE_CMD_LOAD_MODEL}, b{nullptr, VIDUDUDE_CMD_SELECT},
      newest{nullptr, VIDUDUDE_CMD_SELECT}, ping{nullptr, VIDUDUDE_CMD_PING};
  EXPECT_EQ(rules_queue(&rules, &a, 0), nullptr);
  EXPECT_EQ(rules_queue(&rules, &load, 1), nullptr) << "only a select replaces";
  EXPECT_EQ(rules_queue(&rules, &b, 0), nullptr) << "a select without the flag replaces nothing";
  link_node* replaced = rules_queue(&rules, &newest, 1);
  ASSERT_EQ(replaced, &a);
  ASSERT_EQ(replaced->next, &b);
  EXPECT_EQ(b.next, nullptr);
  EXPECT_EQ(rules_queue(&rules, &ping, 1), nullptr);
  EXPECT_EQ(Taken(), (std::vector<unsigned long>{VIDUDUDE_CMD_LOAD_MODEL, VIDUDUDE_CMD_SELECT, VIDUDUDE_CMD_PING}));
  EXPECT_EQ(rules.last, nullptr);
}

TEST_F(LinkRules, ACommandWithNoPluginKnownSearchesFirstAndIsAnsweredNoPluginWhenNoneRuns) {
  ASSERT_EQ(rules_next(&rules), LINK_SEARCH);
  rules_found(&rules, nullptr);
  EXPECT_EQ(rules_next(&rules), LINK_WAIT);
  link_node first{nullptr, VIDUDUDE_CMD_PING}, second{nullptr, VIDUDUDE_CMD_PING};
  rules_queue(&rules, &first, 0);
  rules_queue(&rules, &second, 0);
  ASSERT_EQ(rules_next(&rules), LINK_SEARCH);
  rules_found(&rules, nullptr);
  EXPECT_EQ(rules_next(&rules), LINK_NO_PLUGIN);
  EXPECT_EQ(rules_take(&rules), &first);
  EXPECT_EQ(rules_next(&rules), LINK_NO_PLUGIN) << "one search answers the whole queue";
  rules_take(&rules);
  rules_tick(&rules);
  EXPECT_EQ(rules_next(&rules), LINK_SEARCH) << "and the search goes on each second";
}

TEST_F(LinkRules, ConnectsToTheWindowFoundThenSendsOverTheLinkAndWatchesIt) {
  link_node command{nullptr, VIDUDUDE_CMD_SELECT};
  rules_queue(&rules, &command, 0);
  Connect(kA);
  EXPECT_EQ(rules.window, kA);
  EXPECT_EQ(rules.pid, kPid);
  EXPECT_EQ(rules_next(&rules), LINK_SEND);
  rules_take(&rules);
  EXPECT_EQ(rules_next(&rules), LINK_WAIT);
  rules_tick(&rules);
  ASSERT_EQ(rules_next(&rules), LINK_WATCH);
  EXPECT_EQ(rules_watched(&rules, kA, 1), 0);
  EXPECT_EQ(rules_next(&rules), LINK_WAIT);
  // A window that is no longer the plug-in's (gone, or its handle given to
  // another window) ends the link, and the search begins again.
  rules_tick(&rules);
  EXPECT_EQ(rules_watched(&rules, kA, 0), 1);
  EXPECT_EQ(rules.window, nullptr);
  EXPECT_EQ(rules_next(&rules), LINK_SEARCH);
}

TEST_F(LinkRules, AnUnansweredConnectIsTriedAgainAndARefusalToldOnce) {
  ASSERT_EQ(rules_next(&rules), LINK_SEARCH);
  rules_found(&rules, kA);
  EXPECT_EQ(rules_connected(&rules, kA, kPid, 0, 0), 0);
  EXPECT_EQ(rules_next(&rules), LINK_WAIT);
  rules_tick(&rules);
  ASSERT_EQ(rules_next(&rules), LINK_SEARCH);
  rules_found(&rules, kA);
  EXPECT_EQ(rules_connected(&rules, kA, kPid, 1, VIDUDUDE_REPLY_LINK_FULL), -1);
  rules_tick(&rules);
  rules_found(&rules, kA);
  EXPECT_EQ(rules_connected(&rules, kA, kPid, 1, VIDUDUDE_REPLY_LINK_FULL), 0) << "the same refusal is told once";
  EXPECT_EQ(rules.window, nullptr);
}

TEST_F(LinkRules, BimEndEndsTheLinkAndItsWindowIsTakenAgainOnlyAfterBimStart) {
  Connect(kA);
  EXPECT_EQ(rules_ended(&rules, kB), 0) << "another viewer's plug-in ends";
  EXPECT_EQ(rules_ended(&rules, kA), 1);
  EXPECT_EQ(rules.window, nullptr);
  EXPECT_TRUE(rules_skips(&rules, kA)) << "the ending window still exists for a moment";
  rules_tick(&rules);
  rules_found(&rules, kA);
  EXPECT_EQ(rules_next(&rules), LINK_WAIT);
  // A new session may get the same handle: its "Bim Start" tells.
  rules_started(&rules, kA);
  EXPECT_FALSE(rules_skips(&rules, kA));
  ASSERT_EQ(rules_next(&rules), LINK_CONNECT);
  EXPECT_EQ(rules_connected(&rules, kA, kPid, 1, VIDUDUDE_REPLY_TAKEN), 1);
}

TEST_F(LinkRules, ABimEndDuringTheConnectWinsOverItsReply) {
  rules_started(&rules, kA);
  ASSERT_EQ(rules_next(&rules), LINK_CONNECT);
  rules_ended(&rules, kA);
  EXPECT_EQ(rules_connected(&rules, kA, kPid, 1, VIDUDUDE_REPLY_TAKEN), 0);
  EXPECT_EQ(rules.window, nullptr);
}

TEST_F(LinkRules, BimStartWhileConnectedChangesTheLinkOnlyWhenItsWindowHasGone) {
  Connect(kA);
  rules_started(&rules, kB);  // another viewer started
  ASSERT_EQ(rules_next(&rules), LINK_WATCH);
  rules_watched(&rules, kA, 1);
  EXPECT_EQ(rules_next(&rules), LINK_WAIT);
  EXPECT_EQ(rules.window, kA);
  rules_started(&rules, kB);  // a restart whose "BIM end" never came
  ASSERT_EQ(rules_next(&rules), LINK_WATCH);
  EXPECT_EQ(rules_watched(&rules, kA, 0), 1);
  ASSERT_EQ(rules_next(&rules), LINK_CONNECT);
  EXPECT_EQ(rules.candidate, kB);
}

TEST_F(LinkRules, StoppingHandsBackTheQueueAndLeaves) {
  Connect(kA);
  link_node first{nullptr, VIDUDUDE_CMD_PING}, second{nullptr, VIDUDUDE_CMD_SELECT};
  rules_queue(&rules, &first, 0);
  rules_queue(&rules, &second, 0);
  EXPECT_EQ(rules_stop(&rules), &first);
  EXPECT_EQ(first.next, &second);
  EXPECT_EQ(rules.first, nullptr);
  EXPECT_EQ(rules_next(&rules), LINK_LEAVE);
  EXPECT_EQ(rules.window, kA) << "the leave goes to the link's window";
}

}  // namespace
