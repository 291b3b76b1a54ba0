// Text conversions between the viewer's UTF-16 strings and the UTF-8 that
// the call log and transcripts use. wchar_t is 16 bits on Windows and 32 on
// Linux; both widths are handled so the core also builds natively.
#pragma once

#include <string>
#include <string_view>

namespace viewer_sim {

// Invalid or unpaired surrogates become U+FFFD rather than failing: the log
// must show whatever the plug-in passed.
std::string ToUtf8(std::wstring_view text);
std::wstring ToWide(std::string_view utf8);

// Appends one code point in the native wchar_t encoding.
void AppendCodePoint(std::wstring& out, char32_t codePoint);

}  // namespace viewer_sim
