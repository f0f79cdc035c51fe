#include "host/RichText.h"

#include <gumbo.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <map>
#include <vector>

#include "rtl/CodePages.h"
#include "rtl/Exceptions.h"
#include "rtl/SysUtils.h"

namespace vela {

namespace {

constexpr int kDefaultCodePage = 1252;
constexpr char32_t kReplacementChar = 0xFFFD;

bool IsLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// ---------------------------------------------------------------------------------------------
// RTF reading

// Destinations whose content is not document text. Sorted for binary search.
constexpr std::array<std::string_view, 43> kSkippedDestinations = {
    "annotation",  "atnauthor",    "atnid",
    "bkmkend",     "bkmkstart",    "colortbl",
    "datastore",   "docvar",       "colorschememapping",
    "fldinst",     "filetbl",      "footer",
    "footerf",     "footerl",      "footerr",
    "footnote",    "generator",    "header",
    "headerf",     "headerl",      "headerr",
    "info",        "latentstyles", "listoverridetable",
    "listpicture", "listtable",    "mmathPr",
    "nonshppict",  "objdata",      "pgdsctbl",
    "pict",        "pn",           "private",
    "revtbl",      "rsidtbl",      "rxe",
    "stylesheet",  "tc",           "template",
    "themedata",   "txe",          "userprops",
    "xe"};

bool IsSkippedDestination(std::string_view word) {
  static const auto sorted = [] {
    auto a = kSkippedDestinations;
    std::sort(a.begin(), a.end());
    return a;
  }();
  return std::binary_search(sorted.begin(), sorted.end(), word);
}

// Windows code pages of RTF font charsets; other charsets use the document's code page.
constexpr std::pair<int, int> kCharsetCodePages[] = {
    {77, 10000}, {128, 932},  {129, 949},  {130, 1361}, {134, 936},  {136, 950},
    {161, 1253}, {162, 1254}, {163, 1258}, {177, 1255}, {178, 1256}, {186, 1257},
    {204, 1251}, {222, 874},  {238, 1250}, {254, 437},  {255, 850}};

// 0 for "the document's code page".
int CodePageOfCharset(int charset) {
  for (const auto& [set, codePage] : kCharsetCodePages)
    if (set == charset) return codePage;
  return 0;
}

// Control words that stand for a character.
constexpr std::pair<std::string_view, char32_t> kSymbolWords[] = {
    {"emdash", 0x2014}, {"endash", 0x2013},    {"bullet", 0x2022},   {"lquote", 0x2018},
    {"rquote", 0x2019}, {"ldblquote", 0x201C}, {"rdblquote", 0x201D}};

char32_t SymbolOfWord(std::string_view word) {
  for (const auto& [w, cp] : kSymbolWords)
    if (w == word) return cp;
  return 0;
}

enum class TRtfDest : uint8_t { Text, Skip, FontTable };

// Reading state that a group saves and restores.
struct TRtfGroupState {
  TRtfDest Dest = TRtfDest::Text;
  int UnicodeSkip = 1;  // \ucN
  int Font = -1;        // \fN; -1 for the default font (\deffN)
};

class TRtfReader {
 public:
  explicit TRtfReader(std::string_view rtf) : S(rtf) {}

  std::string Run() {
    Out.reserve(S.size() / 2);
    while (P < S.size()) {
      const char c = S[P];
      if (c == '{') {
        ++P;
        SkipCount = 0;
        Stack.push_back(Cur);
      } else if (c == '}') {
        ++P;
        SkipCount = 0;
        if (!Stack.empty()) {
          Cur = Stack.back();
          Stack.pop_back();
        }
      } else if (c == '\\') {
        ++P;
        Control();
      } else if (c == '\r' || c == '\n') {
        ++P;  // line ends of the RTF source are not text
      } else {
        const char32_t cp = NextUtf8CodePoint(S, P);
        if (Skipped()) continue;
        if (cp == '\t') {
          Emit("\t");
        } else if (cp >= 0x20) {
          EmitCodePoint(cp);
        }
      }
    }
    FlushBytes();
    return std::move(Out);
  }

 private:
  bool Emitting() const { return Cur.Dest == TRtfDest::Text && !Stack.empty(); }

  // Consumes one fallback character after \uN; true when it was one.
  bool Skipped() {
    if (SkipCount <= 0) return false;
    --SkipCount;
    return true;
  }

  // After the backslash: a control word, a control symbol or \'hh.
  void Control() {
    if (P >= S.size()) return;
    const char c = S[P];
    if (!IsLetter(c)) {
      ++P;
      Symbol(c);
      return;
    }
    const size_t start = P;
    while (P < S.size() && IsLetter(S[P]))
      ++P;
    // Control words are at most 32 letters; longer runs are no words this reader knows.
    const std::string_view word = S.substr(start, std::min<size_t>(P - start, 32));
    bool hasParam = false;
    bool negative = false;
    int64_t param = 0;
    if (P + 1 < S.size() && S[P] == '-' && IsDigit(S[P + 1])) {
      negative = true;
      ++P;
    }
    while (P < S.size() && IsDigit(S[P])) {
      hasParam = true;
      if (param < 100000000000) param = param * 10 + (S[P] - '0');
      ++P;
    }
    if (P < S.size() && S[P] == ' ') ++P;
    param = std::clamp<int64_t>(negative ? -param : param, INT32_MIN, INT32_MAX);
    Word(word, hasParam, static_cast<int>(param));
  }

  void Symbol(char c) {
    switch (c) {
      case '\'': {
        const int hi = P < S.size() ? HexValue(S[P]) : -1;
        if (hi < 0) return;  // no escape: what follows is text
        const int lo = P + 1 < S.size() ? HexValue(S[P + 1]) : -1;
        P += lo < 0 ? 1 : 2;
        if (lo < 0) return;  // a truncated escape is dropped
        if (Skipped() || !Emitting()) return;
        const int cp = CurrentCodePage();
        if (cp != BytesCodePage) FlushBytes();
        BytesCodePage = cp;
        Bytes.push_back(static_cast<char>(hi * 16 + lo));
        return;
      }
      case '*':
        Cur.Dest = TRtfDest::Skip;
        return;
      case '\r':
      case '\n':
        if (!Skipped()) EmitLineBreak();
        return;
      default:
        break;
    }
    if (Skipped()) return;
    switch (c) {
      case '\\':
      case '{':
      case '}':
        Emit(std::string_view(&c, 1));
        break;
      case '~':
        EmitCodePoint(0xA0);
        break;
      case '_':
        Emit("-");
        break;
      case '\t':
        Emit("\t");
        break;
      default:
        break;  // \- optional hyphen, \: index sub-entry, \| formula
    }
  }

  void Word(std::string_view w, bool hasParam, int n) {
    if (w == "bin") {  // binary data of n bytes follows, never text
      if (hasParam && n > 0) P += std::min<size_t>(static_cast<size_t>(n), S.size() - P);
      return;
    }
    if (w == "u") {
      if (!hasParam) return;
      if (Emitting()) Utf16Unit(static_cast<char16_t>(n & 0xFFFF));
      SkipCount = Cur.UnicodeSkip;
      return;
    }
    if (Skipped()) return;
    if (Cur.Dest == TRtfDest::FontTable) {
      if (w == "f") {
        FontTableFont = n;
      } else if (w == "fcharset") {
        if (int cp = CodePageOfCharset(n)) FontCodePages[FontTableFont] = cp;
      } else if (w == "cpg") {
        if (n > 0) FontCodePages[FontTableFont] = n;
      }
      return;
    }
    if (w == "uc") {
      Cur.UnicodeSkip = std::max(0, n);
    } else if (w == "f") {
      Cur.Font = n;
    } else if (w == "plain") {
      Cur.Font = -1;
    } else if (w == "deff") {
      DefaultFont = n;
    } else if (w == "ansicpg") {
      if (n > 0) DocCodePage = n;
    } else if (w == "ansi") {
      DocCodePage = kDefaultCodePage;
    } else if (w == "mac") {
      DocCodePage = 10000;
    } else if (w == "pc") {
      DocCodePage = 437;
    } else if (w == "pca") {
      DocCodePage = 850;
    } else if (w == "fonttbl") {
      Cur.Dest = TRtfDest::FontTable;
    } else if (IsSkippedDestination(w)) {
      Cur.Dest = TRtfDest::Skip;
    } else if (w == "par" || w == "line" || w == "row" || w == "sect" || w == "page") {
      EmitLineBreak();
    } else if (w == "tab" || w == "cell" || w == "nestcell") {
      Emit("\t");
    } else if (const char32_t cp = SymbolOfWord(w)) {
      EmitCodePoint(cp);
    } else if (w == "emspace" || w == "enspace" || w == "qmspace") {
      Emit(" ");
    }
  }

  int CurrentCodePage() const {
    const int font = Cur.Font >= 0 ? Cur.Font : DefaultFont;
    const auto it = FontCodePages.find(font);
    return it != FontCodePages.end() ? it->second : DocCodePage;
  }

  void Utf16Unit(char16_t u) {
    if (u >= 0xD800 && u <= 0xDBFF) {
      if (HighSurrogate) EmitCodePoint(kReplacementChar);
      HighSurrogate = u;
      return;
    }
    if (u >= 0xDC00 && u <= 0xDFFF) {
      if (!HighSurrogate) return EmitCodePoint(kReplacementChar);
      const char32_t cp = 0x10000 + ((HighSurrogate - 0xD800) << 10) + (u - 0xDC00);
      HighSurrogate = 0;
      return EmitCodePoint(cp);
    }
    EmitCodePoint(u);
  }

  void EmitLineBreak() { Emit("\r\n"); }

  void EmitCodePoint(char32_t cp) {
    if (!Emitting()) return;
    Prepare();
    AppendUtf8(Out, cp);
  }

  void Emit(std::string_view text) {
    if (!Emitting()) return;
    Prepare();
    Out.append(text);
  }

  // Before other output: pending \'hh bytes are decoded, a lone high surrogate is replaced.
  void Prepare() {
    FlushBytes();
    if (HighSurrogate) {
      HighSurrogate = 0;
      AppendUtf8(Out, kReplacementChar);
    }
  }

  void FlushBytes() {
    if (Bytes.empty()) return;
    try {
      Out += CodePageToUtf8(Bytes, BytesCodePage);
    } catch (const Exception&) {  // a code page this system cannot convert
      Out += CodePageToUtf8(Bytes, kDefaultCodePage);
    }
    Bytes.clear();
  }

  std::string_view S;
  size_t P = 0;
  std::vector<TRtfGroupState> Stack;
  TRtfGroupState Cur;
  std::string Out;
  std::string Bytes;  // \'hh bytes not yet decoded
  int BytesCodePage = kDefaultCodePage;
  int DocCodePage = kDefaultCodePage;
  int DefaultFont = 0;
  int FontTableFont = 0;
  std::map<int, int> FontCodePages;
  int SkipCount = 0;
  char16_t HighSurrogate = 0;
};

bool LooksLikeRTF(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\r' || s[i] == '\n'))
    ++i;
  return s.substr(i, 5) == "{\\rtf";
}

// ---------------------------------------------------------------------------------------------
// RTF writing

// One code point of text as RTF: escapes, \tab, \uN? beyond ASCII; other control characters
// are dropped. Line breaks are the caller's.
void AppendRtfCodePoint(std::string& out, char32_t cp) {
  if (cp == '\\' || cp == '{' || cp == '}') {
    out += '\\';
    out += static_cast<char>(cp);
  } else if (cp == '\t') {
    out += "\\tab ";
  } else if (cp >= 0x20 && cp < 0x7F) {
    out += static_cast<char>(cp);
  } else if (cp >= 0x80) {
    auto unit = [&out](unsigned u) {
      out += "\\u";
      out += std::to_string(static_cast<int16_t>(static_cast<uint16_t>(u)));
      out += '?';
    };
    if (cp > 0xFFFF) {
      const char32_t v = cp - 0x10000;
      unit(0xD800 + (v >> 10));
      unit(0xDC00 + (v & 0x3FF));
    } else {
      unit(cp);
    }
  }
}

void AppendRtfText(std::string& out, std::string_view text) {
  for (size_t i = 0; i < text.size();)
    AppendRtfCodePoint(out, NextUtf8CodePoint(text, i));
}

std::string RtfHeader(const std::string& fontName, int fontSize) {
  std::string font;
  AppendRtfText(font, fontName.empty() ? std::string_view("Arial") : fontName);
  std::erase(font, ';');  // ends the font's entry
  std::string h = "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fnil\\fcharset0 ";
  h += font;
  h += ";}}\r\n\\uc1\\pard\\f0\\fs";
  h += std::to_string(2 * (fontSize > 0 ? std::min(fontSize, 1638) : 10));
  h += ' ';
  return h;
}

// ---------------------------------------------------------------------------------------------
// HTML to RTF

class THtmlRtfWriter {
 public:
  THtmlRtfWriter(const std::string& fontName, int fontSize, std::string_view lineBreak)
      : FFontSize(fontSize > 0 ? std::min(fontSize, 1638) : 10), FLineBreak(lineBreak) {
    Out = RtfHeader(fontName, FFontSize);
  }

  std::string Run(const GumboNode* root) {
    Walk(root);
    Out += '}';
    return std::move(Out);
  }

 private:
  struct TList {
    bool Ordered;
    int Next;
  };

  // Depth-first without recursion, so deeply nested documents cannot exhaust the stack.
  void Walk(const GumboNode* root) {
    if (root == nullptr || !Enter(root)) return;
    std::vector<std::pair<const GumboNode*, unsigned>> stack{{root, 0}};
    while (!stack.empty()) {
      const GumboNode* node = stack.back().first;
      const GumboVector& children = node->v.element.children;
      if (stack.back().second < children.length) {
        const auto* child = static_cast<const GumboNode*>(children.data[stack.back().second++]);
        switch (child->type) {
          case GUMBO_NODE_ELEMENT:
            if (Enter(child)) stack.emplace_back(child, 0);
            break;
          case GUMBO_NODE_TEXT:
          case GUMBO_NODE_WHITESPACE:
          case GUMBO_NODE_CDATA:
            Text(child->v.text.text);
            break;
          default:
            break;  // comments, templates
        }
      } else {
        Leave(node);
        stack.pop_back();
      }
    }
  }

  static bool IsBlock(GumboTag tag) {
    static constexpr GumboTag kBlocks[] = {
        GUMBO_TAG_P,       GUMBO_TAG_DIV,        GUMBO_TAG_ADDRESS,  GUMBO_TAG_ARTICLE,
        GUMBO_TAG_ASIDE,   GUMBO_TAG_BLOCKQUOTE, GUMBO_TAG_CENTER,   GUMBO_TAG_DD,
        GUMBO_TAG_DL,      GUMBO_TAG_DT,         GUMBO_TAG_FIELDSET, GUMBO_TAG_FIGCAPTION,
        GUMBO_TAG_FIGURE,  GUMBO_TAG_FOOTER,     GUMBO_TAG_FORM,     GUMBO_TAG_HEADER,
        GUMBO_TAG_HGROUP,  GUMBO_TAG_HR,         GUMBO_TAG_MAIN,     GUMBO_TAG_NAV,
        GUMBO_TAG_SECTION, GUMBO_TAG_TABLE,      GUMBO_TAG_CAPTION,  GUMBO_TAG_TR,
        GUMBO_TAG_DETAILS, GUMBO_TAG_SUMMARY,    GUMBO_TAG_LEGEND};
    return std::find(std::begin(kBlocks), std::end(kBlocks), tag) != std::end(kBlocks);
  }

  // Opening RTF of a character format, or nullptr.
  static const char* FormatOf(GumboTag tag) {
    static constexpr std::pair<GumboTag, const char*> kFormats[] = {
        {GUMBO_TAG_B, "{\\b "},        {GUMBO_TAG_STRONG, "{\\b "},
        {GUMBO_TAG_TH, "{\\b "},       {GUMBO_TAG_I, "{\\i "},
        {GUMBO_TAG_EM, "{\\i "},       {GUMBO_TAG_CITE, "{\\i "},
        {GUMBO_TAG_VAR, "{\\i "},      {GUMBO_TAG_DFN, "{\\i "},
        {GUMBO_TAG_U, "{\\ul "},       {GUMBO_TAG_INS, "{\\ul "},
        {GUMBO_TAG_S, "{\\strike "},   {GUMBO_TAG_STRIKE, "{\\strike "},
        {GUMBO_TAG_DEL, "{\\strike "}, {GUMBO_TAG_SUP, "{\\super "},
        {GUMBO_TAG_SUB, "{\\sub "}};
    for (const auto& [t, format] : kFormats)
      if (t == tag) return format;
    return nullptr;
  }

  // Heading level 1..6, or 0.
  static int HeadingLevel(GumboTag tag) {
    return tag >= GUMBO_TAG_H1 && tag <= GUMBO_TAG_H6 ? tag - GUMBO_TAG_H1 + 1 : 0;
  }

  // False when the element and its content are dropped.
  bool Enter(const GumboNode* node) {
    const GumboTag tag = node->v.element.tag;
    switch (tag) {
      case GUMBO_TAG_HEAD:
      case GUMBO_TAG_SCRIPT:
      case GUMBO_TAG_STYLE:
      case GUMBO_TAG_TEMPLATE:
      case GUMBO_TAG_NOSCRIPT:
      case GUMBO_TAG_IFRAME:
      case GUMBO_TAG_OBJECT:
      case GUMBO_TAG_SVG:
      case GUMBO_TAG_MATH:
      case GUMBO_TAG_SELECT:
        return false;
      case GUMBO_TAG_BR:
        ++FPendingLines;
        return true;
      case GUMBO_TAG_UL:
      case GUMBO_TAG_OL: {
        Block();
        const GumboAttribute* start = gumbo_get_attribute(&node->v.element.attributes, "start");
        FLists.push_back({tag == GUMBO_TAG_OL, start ? StrToIntDef(start->value, 1) : 1});
        return true;
      }
      case GUMBO_TAG_LI:
        Block();
        if (FLists.empty() || !FLists.back().Ordered) {
          FPendingMarker = "\\u8226?";
        } else {
          FPendingMarker = std::to_string(FLists.back().Next++) + ".";
        }
        return true;
      case GUMBO_TAG_PRE:
        Block();
        ++FPreDepth;
        return true;
      case GUMBO_TAG_TD:
      case GUMBO_TAG_TH:
        if (FCellInRow++ > 0) {
          BeginContent();
          Out += "\\tab ";
          FNoSpaceNeeded = true;
        }
        break;
      default:
        break;
    }
    if (tag == GUMBO_TAG_TR) FCellInRow = 0;
    if (IsBlock(tag)) Block();
    if (const int level = HeadingLevel(tag)) {
      static constexpr double kScale[] = {2.0, 1.5, 1.17, 1.0, 0.83, 0.67};
      Block();
      BeginContent();
      Out += "{\\b\\fs";
      Out += std::to_string(static_cast<int>(std::lround(FFontSize * 2 * kScale[level - 1])));
      Out += ' ';
    } else if (const char* format = FormatOf(tag)) {
      BeginContent();
      SpaceIfPending();
      Out += format;
    }
    return true;
  }

  void Leave(const GumboNode* node) {
    const GumboTag tag = node->v.element.tag;
    if (tag == GUMBO_TAG_UL || tag == GUMBO_TAG_OL) {
      if (!FLists.empty()) FLists.pop_back();
    } else if (tag == GUMBO_TAG_PRE) {
      --FPreDepth;
    }
    if (HeadingLevel(tag) || FormatOf(tag)) Out += '}';
    if (IsBlock(tag) || HeadingLevel(tag) || tag == GUMBO_TAG_UL || tag == GUMBO_TAG_OL ||
        tag == GUMBO_TAG_LI || tag == GUMBO_TAG_PRE)
      Block();
  }

  // A paragraph ends here; a <br> just before it adds no line.
  void Block() {
    FPendingPar = true;
    FPendingSpace = false;
    if (FPendingLines > 0) --FPendingLines;
  }

  // Writes the breaks, paragraph start and list marker that are due before content.
  void BeginContent() {
    if (FHasContent) {
      for (; FPendingLines > 0; --FPendingLines) {
        Out += "\\line";
        Out += FLineBreak;
        FNoSpaceNeeded = true;
      }
      if (FPendingPar) {
        Out += "\\par";
        Out += FLineBreak;
        FNoSpaceNeeded = true;
      }
    }
    if (FPendingPar || !FHasContent) {
      Out += "\\pard";
      if (!FLists.empty()) {
        Out += "\\li" + std::to_string(360 * std::min<size_t>(FLists.size(), 20)) + "\\fi-360";
      }
      Out += ' ';
      if (!FPendingMarker.empty()) {
        Out += FPendingMarker;
        Out += "\\tab ";
        FPendingMarker.clear();
      }
      FNoSpaceNeeded = true;
    }
    FHasContent = true;
    FPendingPar = false;
    FPendingLines = 0;
  }

  // The collapsed white space before content, unless a line or a space is just before it.
  void SpaceIfPending() {
    if (FPendingSpace && !FNoSpaceNeeded) {
      Out += ' ';
      FNoSpaceNeeded = true;
    }
    FPendingSpace = false;
  }

  void Text(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
      const char32_t cp = NextUtf8CodePoint(text, i);
      const bool space = cp == ' ' || cp == '\t' || cp == '\n' || cp == '\r' || cp == '\f';
      if (FPreDepth > 0 && space) {
        if (cp == '\r') continue;
        BeginContent();
        if (cp == '\n') {
          Out += "\\line";
          Out += FLineBreak;
          FNoSpaceNeeded = true;
        } else {
          AppendRtfCodePoint(Out, cp);
          FNoSpaceNeeded = false;
        }
        continue;
      }
      if (space) {
        FPendingSpace = true;
        continue;
      }
      BeginContent();
      SpaceIfPending();
      AppendRtfCodePoint(Out, cp);
      FNoSpaceNeeded = false;
    }
  }

  int FFontSize;
  std::string_view FLineBreak;
  std::string Out;
  std::vector<TList> FLists;
  std::string FPendingMarker;
  bool FHasContent = false;
  bool FPendingPar = false;
  bool FPendingSpace = false;
  bool FNoSpaceNeeded = true;  // after a line start or a space: collapsed white space is dropped
  int FPendingLines = 0;
  int FPreDepth = 0;
  int FCellInRow = 0;
};

}  // namespace

std::string ConvertRTFToText(std::string_view ARTF) {
  if (!LooksLikeRTF(ARTF)) return std::string(ARTF);
  return TRtfReader(ARTF).Run();
}

std::string ConvertTextToRTF(std::string_view AText, const std::string& AFontName, int AFontSize) {
  std::string out = RtfHeader(AFontName, AFontSize);
  out.reserve(out.size() + AText.size() + 16);
  for (size_t i = 0; i < AText.size();) {
    const char c = AText[i];
    if (c == '\r' || c == '\n') {
      i += (c == '\r' && i + 1 < AText.size() && AText[i + 1] == '\n') ? 2 : 1;
      out += "\\par\r\n";
      continue;
    }
    AppendRtfCodePoint(out, NextUtf8CodePoint(AText, i));
  }
  out += '}';
  return out;
}

std::string ConvertHTMLToRTF(std::string_view AHTML, const std::string& AFontName, int AFontSize,
                             std::string_view ALineBreak) {
  GumboOutput* parsed = gumbo_parse_with_options(&kGumboDefaultOptions, AHTML.data(), AHTML.size());
  if (parsed == nullptr) return ConvertTextToRTF(AHTML, AFontName, AFontSize);
  struct TRelease {
    GumboOutput* Output;
    ~TRelease() { gumbo_destroy_output(&kGumboDefaultOptions, Output); }
  } release{parsed};
  return THtmlRtfWriter(AFontName, AFontSize, ALineBreak).Run(parsed->root);
}

}  // namespace vela
