// 8-bit text: the "system ANSI code page", conversion between UTF-8 and code pages, BOM detection.
#pragma once

#include <string>
#include <string_view>

namespace vela {

constexpr int CP_UTF8 = 65001;
constexpr int CP_UTF16LE = 1200;
constexpr int CP_UTF16BE = 1201;

// Default Windows-1252; set by configuration.
int SystemAnsiCodePage();
void SetSystemAnsiCodePage(int codePage);

// iconv name of a Windows/ISO code page number ("CP1252", "ISO-8859-1", "CP437", ...);
// empty when unknown.
std::string CodePageName(int codePage);
// Code page number for a charset name as used in MIME/vCard ("ISO-8859-1", "windows-1252",
// "utf-8", ...); 0 when unknown.
int CodePageFromName(std::string_view name);

// Conversions. Raise EEncodingError naming the code page when it is unknown; bytes that do not
// exist in the target code page become '?'.
std::string CodePageToUtf8(std::string_view bytes, int codePage);
std::string Utf8ToCodePage(std::string_view utf8, int codePage);
// The same by charset name (any name iconv knows).
std::string CharsetToUtf8(std::string_view bytes, std::string_view charset);
std::string Utf8ToCharset(std::string_view utf8, std::string_view charset);

bool IsValidUtf8(std::string_view s);
// True when no byte has the high bit set (the text reads the same in every ASCII-based encoding).
bool IsAscii(std::string_view s);

enum class TTextBOM { None, Utf8, Utf16LE, Utf16BE };
TTextBOM DetectBOM(std::string_view start);
size_t BOMLength(TTextBOM bom);

// Whole-text decoding: a BOM decides (UTF-8, UTF-16 LE/BE); without one, valid UTF-8 is taken
// as it is; anything else is 8-bit text in fallbackCodePage (0 = the system ANSI code page).
// The result is UTF-8 without BOM.
std::string DecodeText(std::string_view raw, int fallbackCodePage = 0);

}  // namespace vela
