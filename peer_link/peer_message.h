// The text side of a peer message: framing of outgoing payloads, the blank
// test, and the bounded reading of incoming payloads.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "peer_link/wire.h"
#include "platform/platform.h"

namespace peer_link {

// "<pid>|<text>" followed by one NUL; the returned string holds the NUL, so
// its size() is the byte count the message declares.
std::string FramePayload(std::uint32_t processId, std::string_view text);

// True for a byte the blank test and trimming remove: space and every
// control character.
constexpr bool IsBlankByte(char c) { return static_cast<unsigned char>(c) <= 0x20; }

// The text without blank bytes at both ends.
std::string_view TrimBlanks(std::string_view text);
inline bool IsBlank(std::string_view text) { return TrimBlanks(text).empty(); }

// The text of an incoming message: the bytes before the first NUL, never
// more than the sender declared; empty when there is no record or no data.
std::string ReadIncomingText(const platform::CopyDataRecord* record);

}  // namespace peer_link
