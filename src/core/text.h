#pragma once
// Text conversions shared by every subsystem.
//
// In memory, texts shown to the user, file names and media fields are UTF-16
// (std::u16string). On disk and on the console they are UTF-8. Bytes that are
// not valid UTF-8 (a file name written in a legacy encoding) are carried
// through UTF-16 as lone low surrogates U+DC80..U+DCFF, one per byte, and turn
// back into the same bytes on the way out, so such a file can still be opened.
//
// The 8-bit texts that meet bitmap fonts and the script machine, and ID3v1
// tag bytes, use Windows-1252.
#include <cstdint>
#include <string>
#include <string_view>

namespace vesperon {

std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

// True when the bytes are well-formed UTF-8 (no overlongs, no surrogates).
bool IsValidUtf8(std::string_view bytes);

// Text from outside (file names, tag fields, skin and update names) made
// safe for one log line: control characters (C0, DEL, C1, the Unicode line
// and paragraph separators) become "\n", "\r", "\t", "\xNN" or "\uNNNN",
// and each byte that is not valid UTF-8 becomes "\xNN". Well-formed printable
// text comes back unchanged.
std::string EscapeForLog(std::string_view utf8);

// Windows-1252 <-> UTF-16. Unmapped UTF-16 characters become '?'.
std::u16string Cp1252ToUtf16(std::string_view bytes);
std::string Utf16ToCp1252(std::u16string_view text);

// ASCII-only case mapping (A-Z / a-z); other characters stay as they are.
std::string AsciiLower(std::string_view s);
std::u16string AsciiLower(std::u16string_view s);
std::string AsciiUpper(std::string_view s);
std::u16string AsciiUpper(std::u16string_view s);
// Equal but for ASCII case, without building upper-case copies.
bool AsciiEqualIgnoringCase(std::string_view a, std::string_view b);

// Decimal text of an integer as UTF-16 ("-12").
std::u16string IntToU16(long long value);

// The first `max` UTF-16 units at most, one fewer when the cut would split a
// surrogate pair.
std::u16string CutUtf16(std::u16string_view text, std::size_t max);

}  // namespace vesperon
