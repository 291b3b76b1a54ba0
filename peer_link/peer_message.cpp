#include "peer_link/peer_message.h"

#include <cstring>

namespace peer_link {

std::string FramePayload(std::uint32_t processId, std::string_view text) {
  std::string payload = std::to_string(processId);
  payload.reserve(payload.size() + 1 + text.size() + 1);
  payload += '|';
  payload.append(text);
  payload += '\0';
  return payload;
}

std::string_view TrimBlanks(std::string_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && IsBlankByte(text[begin])) ++begin;
  while (end > begin && IsBlankByte(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

std::string ReadIncomingText(const platform::CopyDataRecord* record) {
  if (record == nullptr || record->data == nullptr || record->size == 0) return {};
  const char* bytes = static_cast<const char*>(record->data);
  const void* nul = std::memchr(bytes, '\0', record->size);
  const std::size_t length = nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - bytes) : record->size;
  return std::string(bytes, length);
}

}  // namespace peer_link
