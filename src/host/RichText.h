// Rich text helpers of the host: RTF to plain text, plain text to RTF and HTML to RTF. Texts are
// UTF-8 on both sides; the RTF written is 7-bit (everything beyond ASCII as \uN with a fallback
// character). docs/value-transformations.md describes what each conversion keeps.
#pragma once

#include <string>
#include <string_view>

namespace vela {

// The text of an RTF document: destinations that hold no text (font, colour and style tables,
// document information, pictures, "\*" groups, field instructions, headers and footers) are
// skipped; \par, \line and \row give "\r\n", \tab and \cell a tab; \'hh is read in the code page
// of the current font's charset or of the document (\ansicpg, default 1252); \uN is a UTF-16 unit
// followed by \ucN fallback characters that are skipped. Input that does not begin with "{\rtf"
// (after blanks) is not RTF and comes back unchanged. Malformed input gives what could be read.
std::string ConvertRTFToText(std::string_view ARTF);

// A minimal RTF document holding AText: one font (AFontName, "Arial" when empty) at AFontSize
// points (10 when not positive); "\", "{" and "}" escaped; CR LF, CR and LF as \par; tabs as
// \tab; non-ASCII as \uN? ; other control characters dropped.
std::string ConvertTextToRTF(std::string_view AText, const std::string& AFontName, int AFontSize);

// An RTF document with the text of an HTML document or fragment: paragraphs and other blocks as
// paragraphs, <br> as a line break, headings bold and larger, b/strong, i/em, u, s, sub and sup
// as character formats, list items with a bullet or their number, table cells separated by tabs
// and rows as paragraphs, <pre> with its line breaks. Scripts, styles and the document head are
// dropped; white space is collapsed as a browser does. ALineBreak ends the lines of the RTF text
// after every paragraph or line break (it does not change the content).
std::string ConvertHTMLToRTF(std::string_view AHTML, const std::string& AFontName, int AFontSize,
                             std::string_view ALineBreak);

}  // namespace vela
