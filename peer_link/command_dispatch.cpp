#include "peer_link/command_dispatch.h"

#include <utility>

#include "peer_link/peer_message.h"

namespace peer_link {

void DispatchCommand(CommandActions& actions, platform::WindowHandle sender, const platform::CopyDataRecord* record,
                     std::intptr_t& result) {
  const Command* command = FindCommand(record ? record->code : 0);
  if (command == nullptr) {
    result = kReplyNotACommand;
    return;
  }
  result = kReplyTaken;
  // The one copy of the payload, made only for the commands that read it; the
  // command that keeps it takes it over.
  std::string text = command->readsText ? ReadIncomingText(record) : std::string();
  switch (command->code) {
    case kCommandConnect:
      if (!actions.Connect(sender)) result = kReplyLinkFull;
      break;
    case kCommandDisconnect:
      actions.Disconnect();
      break;
    case kCommandLoadModel: {
      const std::string_view path = TrimBlanks(text);
      if (!path.empty() && !actions.LoadModel(path)) result = kReplyModelNotLoaded;
      break;
    }
    case kCommandSelect:
      actions.Select(std::move(text));
      break;
    case kCommandPing:
      break;
    case kCommandRestoreView:
      actions.RestoreView(text);
      break;
    case kCommandLinesButton:
      actions.EnableLinesButton(text == kLinesButtonActive);
      break;
    case kCommandSendModelPath:
      // 21 until a path has gone out: a viewer that fails while the path
      // is read leaves it at that.
      result = kReplyModelNotLoaded;
      if (actions.SendModelPathAgain()) result = kReplyTaken;
      break;
    case kCommandSendSelection:
      // As for command 10: 21 until the selection has gone out.
      result = kReplyModelNotLoaded;
      if (actions.SendSelectionAgain()) result = kReplyTaken;
      break;
    case kCommandLeave:
      actions.Leave(sender);
      break;
  }
}

}  // namespace peer_link
