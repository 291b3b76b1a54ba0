// The wire's codes, replies, names and table of commands as C++ constants,
// taken from the peer header that defines them once: the plug-in and its
// peers cannot disagree.
#pragma once

#include <cstdint>
#include <string_view>

#define VIDUDUDE_PEER_WIRE_ONLY
#include "peer_sdk/vidudude_peer.h"
#undef VIDUDUDE_PEER_WIRE_ONLY

namespace peer_link {

// Codes of the messages the plug-in sends.
inline constexpr std::uint32_t kCodeStart = VIDUDUDE_MSG_START;
inline constexpr std::uint32_t kCodeEnd = VIDUDUDE_MSG_END;
inline constexpr std::uint32_t kCodeModelPath = VIDUDUDE_MSG_MODEL_PATH;
inline constexpr std::uint32_t kCodeSelection = VIDUDUDE_MSG_SELECTION;
inline constexpr std::uint32_t kCodeCreateLines = VIDUDUDE_MSG_CREATE_LINES;

// Codes of the commands a peer sends to the hidden window.
inline constexpr std::uint32_t kCommandConnect = VIDUDUDE_CMD_CONNECT;
inline constexpr std::uint32_t kCommandDisconnect = VIDUDUDE_CMD_DISCONNECT;
inline constexpr std::uint32_t kCommandLoadModel = VIDUDUDE_CMD_LOAD_MODEL;
inline constexpr std::uint32_t kCommandSelect = VIDUDUDE_CMD_SELECT;
inline constexpr std::uint32_t kCommandPing = VIDUDUDE_CMD_PING;
inline constexpr std::uint32_t kCommandRestoreView = VIDUDUDE_CMD_RESTORE_VIEW;
inline constexpr std::uint32_t kCommandLinesButton = VIDUDUDE_CMD_LINES_BUTTON;
inline constexpr std::uint32_t kCommandSendModelPath = VIDUDUDE_CMD_SEND_MODEL_PATH;
inline constexpr std::uint32_t kCommandSendSelection = VIDUDUDE_CMD_SEND_SELECTION;
inline constexpr std::uint32_t kCommandLeave = VIDUDUDE_CMD_LEAVE;

// Replies to the peer's commands.
inline constexpr std::uint32_t kReplyTaken = VIDUDUDE_REPLY_TAKEN;
inline constexpr std::uint32_t kReplyNotACommand = VIDUDUDE_REPLY_NOT_A_COMMAND;
inline constexpr std::uint32_t kReplyModelNotLoaded = VIDUDUDE_REPLY_MODEL_NOT_LOADED;
inline constexpr std::uint32_t kReplyLinkFull = VIDUDUDE_REPLY_LINK_FULL;

// The text of command 9 that enables the create-lines button; any other
// text disables it.
inline constexpr std::string_view kLinesButtonActive = VIDUDUDE_LINES_BUTTON_ACTIVE;
inline constexpr std::string_view kStartText = VIDUDUDE_START_TEXT;
inline constexpr std::string_view kEndText = VIDUDUDE_END_TEXT;
inline constexpr std::string_view kNoGuids = VIDUDUDE_NO_GUIDS;

inline constexpr std::string_view kPluginWindowClass = VIDUDUDE_PLUGIN_WINDOW_CLASS;
inline constexpr std::string_view kPeerWindowClass = VIDUDUDE_PEER_WINDOW_CLASS;
inline constexpr std::string_view kPeerExe = VIDUDUDE_PEER_EXE;
inline constexpr std::string_view kPeerExeBimProject = VIDUDUDE_PEER_EXE_BIMPROJECT;

// One row of the header's command table.
struct Command {
  std::uint32_t code;
  // The plug-in reads the command's text; the others never look at it.
  bool readsText;
  // The one reply besides kReplyTaken that the command may give; 0 for none.
  std::uint32_t otherReply;
};

#define VIDUDUDE_PEER_LINK_COMMAND(code, readsText, otherReply, meaning) Command{code, (readsText) != 0, otherReply},
inline constexpr Command kCommands[] = {VIDUDUDE_COMMANDS(VIDUDUDE_PEER_LINK_COMMAND)};
#undef VIDUDUDE_PEER_LINK_COMMAND

// The row of a code; null for a code that names no command.
constexpr const Command* FindCommand(std::uint64_t code) {
  for (const Command& command : kCommands) {
    if (command.code == code) return &command;
  }
  return nullptr;
}

inline constexpr std::uint32_t kCommandTimeoutMs = VIDUDUDE_COMMAND_TIMEOUT_MS;
inline constexpr std::uint32_t kLoadTimeoutMs = VIDUDUDE_LOAD_TIMEOUT_MS;
inline constexpr std::uint32_t kPluginSendTimeoutMs = VIDUDUDE_PLUGIN_SEND_TIMEOUT_MS;

}  // namespace peer_link
