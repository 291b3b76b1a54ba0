// The peer header against the plug-in it describes: its payload split reads
// what the plug-in frames and nothing beyond the declared size, and its
// window search and command send reach the real plug-in.
#include "peer_sdk/vidudude_peer.h"

#include <string>
#include <string_view>

#include "peer_link/peer_message.h"
#include "plugin_session.h"

#if defined(VIDUDUDE_FUNCTION) || defined(VIDUDUDE_AS) || defined(VIDUDUDE_HANDLE_AS) || defined(VIDUDUDE_WRITABLE) || \
    defined(VIDUDUDE_MEANING_ROW)
#error "the peer header leaves a helper macro defined"
#endif

TEST(PeerSdk, SplitReadsTheFramedPayloadWithinItsSize) {
  struct Case {
    std::string bytes;
    DWORD size;
    bool ok;
    DWORD pid;
    std::string text;
  };
  const std::string framed = peer_link::FramePayload(4294967295u, "a|b\r\nc");
  const Case cases[] = {
      {framed, static_cast<DWORD>(framed.size()), true, 4294967295u, "a|b\r\nc"},
      {std::string("42|ab\0cd", 8), 8, true, 42, "ab"},
      {"42|abcXYZ", 6, true, 42, "abc"},
      {"42|", 3, true, 42, ""},
      {"42|x", 2, false, 0, ""},
      {"4294967296|x", 13, false, 0, ""},
      {"00000000042|x", 14, false, 0, ""},
      {"|x", 3, false, 0, ""},
      {"4a|x", 5, false, 0, ""},
  };
  for (const auto& c : cases) {
    COPYDATASTRUCT data{VIDUDUDE_MSG_SELECTION, c.size, const_cast<char*>(c.bytes.data())};
    VIDUDUDE_MESSAGE message{};
    ASSERT_EQ(vidudude_split_message(&data, &message) != FALSE, c.ok) << c.bytes;
    if (!c.ok) continue;
    EXPECT_EQ(message.code, DWORD{VIDUDUDE_MSG_SELECTION});
    EXPECT_EQ(message.viewerPid, c.pid) << c.bytes;
    EXPECT_EQ(std::string(message.text, message.length), c.text) << c.bytes;
  }
  COPYDATASTRUCT empty{1, 5, nullptr};
  VIDUDUDE_MESSAGE message{};
  EXPECT_FALSE(vidudude_split_message(&empty, &message));
}

TEST(PeerSdk, PathToAnsiRefusesANullPathOrBufferOrNoRoomAndWritesNothing) {
  char buffer[16] = "untouched";
  EXPECT_FALSE(vidudude_path_to_ansi(L"C:\\a.ifc", buffer, 0));
  EXPECT_FALSE(vidudude_path_to_ansi(L"C:\\a.ifc", buffer, -1));
  EXPECT_FALSE(vidudude_path_to_ansi(L"C:\\a.ifc", nullptr, 0));
  EXPECT_FALSE(vidudude_path_to_ansi(L"C:\\a.ifc", nullptr, sizeof buffer));
  EXPECT_FALSE(vidudude_path_to_ansi(nullptr, buffer, sizeof buffer));
  EXPECT_STREQ(buffer, "untouched");
  ASSERT_TRUE(vidudude_path_to_ansi(L"C:\\a.ifc", buffer, sizeof buffer));
  EXPECT_STREQ(buffer, "C:\\a.ifc");
}

TEST(PeerSdk, ReplyMeaningIsTheAnsweredCommands) {
  EXPECT_STREQ(vidudude_reply_meaning(VIDUDUDE_CMD_LOAD_MODEL, VIDUDUDE_REPLY_MODEL_NOT_LOADED), "model not loaded");
  EXPECT_STREQ(vidudude_reply_meaning(VIDUDUDE_CMD_SEND_MODEL_PATH, VIDUDUDE_REPLY_MODEL_NOT_LOADED),
               "no model loaded");
  EXPECT_STREQ(vidudude_reply_meaning(VIDUDUDE_CMD_SELECT, VIDUDUDE_REPLY_MODEL_NOT_LOADED), "");
  EXPECT_STREQ(vidudude_reply_meaning(VIDUDUDE_CMD_SELECT, VIDUDUDE_REPLY_TAKEN), "taken");
  EXPECT_STREQ(vidudude_reply_meaning(VIDUDUDE_CMD_PING, VIDUDUDE_REPLY_NOT_A_COMMAND),
               "not carried out: the plug-in stops, or predates the command");
  EXPECT_STREQ(vidudude_reply_meaning(3, VIDUDUDE_REPLY_NOT_A_COMMAND), "not a command");
  // Replies the plug-in never gives to that code mean nothing.
  EXPECT_STREQ(vidudude_reply_meaning(VIDUDUDE_CMD_LOAD_MODEL, 7), "");
  EXPECT_STREQ(vidudude_reply_meaning(3, VIDUDUDE_REPLY_TAKEN), "");
}

class PeerSdkSession : public PluginSession {};

TEST_F(PeerSdkSession, FindsThePluginWindowOfItsViewerAndGetsItsReplies) {
  LoadPlugin();
  const HWND window = vidudude_find_plugin_window(GetCurrentProcessId());
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(vidudude_find_plugin_window(0), window);
  EXPECT_EQ(vidudude_find_plugin_window(GetCurrentProcessId() + 4), nullptr);

  DWORD reply = 0;
  ASSERT_TRUE(vidudude_send_command(window, nullptr, VIDUDUDE_CMD_PING, "anything", &reply));
  EXPECT_EQ(reply, DWORD{VIDUDUDE_REPLY_TAKEN});
  ASSERT_TRUE(vidudude_send_command(window, nullptr, 3, nullptr, &reply));
  EXPECT_EQ(reply, DWORD{VIDUDUDE_REPLY_NOT_A_COMMAND});
  ASSERT_TRUE(vidudude_send_command(window, nullptr, VIDUDUDE_CMD_LOAD_MODEL, "C:\\fehlt.ifc", &reply));
  EXPECT_EQ(reply, DWORD{VIDUDUDE_REPLY_MODEL_NOT_LOADED});

  UnloadPlugin();
  EXPECT_EQ(vidudude_find_plugin_window(GetCurrentProcessId()), nullptr);
  EXPECT_FALSE(vidudude_send_command(window, nullptr, VIDUDUDE_CMD_PING, "", &reply));
}
