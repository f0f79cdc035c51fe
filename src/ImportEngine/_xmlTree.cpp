#include "ImportEngine/_xmlTree.h"

#include <algorithm>

#include "rtl/CodePages.h"
#include "rtl/Exceptions.h"
#include "rtl/Format.h"
#include "rtl/Streams.h"
#include "rtl/SysUtils.h"

namespace vela {

namespace {

// Trimmed of blanks and control characters, with LF, CR and TAB inside turned into blanks.
std::string NormaliseWhitespace(std::string_view s) {
  std::string t = Trim(s);
  bool changed = false;
  for (char& c : t) {
    if (c == '\n' || c == '\r' || c == '\t') {
      c = ' ';
      changed = true;
    }
  }
  return changed ? Trim(t) : t;
}

void ReplaceAllInPlace(std::string& s, std::string_view from, std::string_view to) {
  if (s.find(from) == std::string::npos) return;
  s = StringReplace(s, from, to, rfReplaceAll);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// escaping

std::string XMLUnescapeAttribute(std::string_view value) {
  std::string s(value);
  if (s.find('&') == std::string::npos) return s;
  // The order matters: "&amp;lt;" becomes "<".
  ReplaceAllInPlace(s, "&amp;", "&");
  ReplaceAllInPlace(s, "&lt;", "<");
  ReplaceAllInPlace(s, "&gt;", ">");
  ReplaceAllInPlace(s, "&apos;", "'");
  ReplaceAllInPlace(s, "&quot;", "\"");
  // Decimal references 0..255, one code after the other; higher codes stay as text.
  std::string pattern, repl;
  for (uint32_t code = 0; code <= 255; ++code) {
    if (s.find("&#") == std::string::npos) break;
    pattern = "&#" + std::to_string(code) + ";";
    repl.clear();
    AppendUtf8(repl, code);
    ReplaceAllInPlace(s, pattern, repl);
  }
  return s;
}

std::string XMLEscapeAttribute(std::string_view value) {
  std::string out;
  out.reserve(value.size() + value.size() / 2);
  size_t i = 0;
  while (i < value.size()) {
    const uint32_t cp = NextUtf8CodePoint(value, i);
    if ((cp >= '0' && cp <= '9') || (cp >= 'a' && cp <= 'z') || (cp >= 'A' && cp <= 'Z')) {
      out.push_back(static_cast<char>(cp));
      continue;
    }
    switch (cp) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '\'':
        out += "&apos;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        if (cp >= 0x10000) {
          const uint32_t v = cp - 0x10000;
          out += "&#" + std::to_string(0xD800 + (v >> 10)) + ";";
          out += "&#" + std::to_string(0xDC00 + (v & 0x3FF)) + ";";
        } else {
          out += "&#" + std::to_string(cp) + ";";
        }
    }
  }
  return out;
}

// ---------------------------------------------------------------------------------------------
// TXMLAttribute

TXMLAttribute::TXMLAttribute(std::string aName, std::string_view aValue)
    : FName(std::move(aName)), FValue(XMLUnescapeAttribute(aValue)) {}

std::string TXMLAttribute::document() const {
  return " " + FName + "=\"" + FValue + "\"";
}

// ---------------------------------------------------------------------------------------------
// TXMLNode

TXMLNode::TXMLNode(std::string aName, std::string aValue, TXMLNode* aParent)
    : FName(std::move(aName)), FValue(std::move(aValue)), FParentNode(aParent) {}

TXMLNode::~TXMLNode() = default;

TXMLNode* TXMLNode::AddNode(std::string aName, std::string aValue) {
  FNodes.push_back(std::make_unique<TXMLNode>(std::move(aName), std::move(aValue), this));
  return FNodes.back().get();
}

TXMLNode* TXMLNode::AddNodeEx(std::string_view aTagText, std::string aValue) {
  const size_t blank = aTagText.find(' ');
  TXMLNode* node = AddNode(std::string(aTagText.substr(0, blank)), std::move(aValue));
  if (blank == std::string_view::npos) return node;
  size_t p = blank;
  for (;;) {
    const size_t eq = aTagText.find('=', p);
    if (eq == std::string_view::npos) break;
    const size_t q1 = aTagText.find('"', eq + 1);
    if (q1 == std::string_view::npos) break;
    const size_t q2 = aTagText.find('"', q1 + 1);
    if (q2 == std::string_view::npos) break;
    node->AddAttribute(Trim(aTagText.substr(p, eq - p)), aTagText.substr(q1 + 1, q2 - q1 - 1));
    p = q2 + 1;
  }
  return node;
}

void TXMLNode::DeleteNode(int Index) {
  if (Index < 0 || Index >= NodeCountDirect())
    throw EListError(Format("List index out of bounds (%d)", Index));
  FNodes.erase(FNodes.begin() + Index);
}

void TXMLNode::ClearNodes() {
  FNodes.clear();
}

TXMLAttribute* TXMLNode::AddAttribute(std::string aName, std::string_view aValue) {
  FAttributes.push_back(std::make_unique<TXMLAttribute>(std::move(aName), aValue));
  return FAttributes.back().get();
}

void TXMLNode::DeleteAttribute(int Index) {
  if (Index < 0 || Index >= AttributeCount())
    throw EListError(Format("List index out of bounds (%d)", Index));
  FAttributes.erase(FAttributes.begin() + Index);
}

void TXMLNode::ClearAttributes() {
  FAttributes.clear();
}

TXMLNode* TXMLNode::getNamedNode(std::string_view aName) const {
  for (const auto& n : FNodes)
    if (n->FName == aName) return n.get();
  return nullptr;
}

TXMLNode* TXMLNode::findNamedNode(std::string_view aName) const {
  for (const auto& n : FNodes) {
    if (n->FName == aName) return n.get();
    if (TXMLNode* hit = n->findNamedNode(aName)) return hit;
  }
  return nullptr;
}

void TXMLNode::findNamedNodes(std::string_view aName, std::vector<TXMLNode*>& aList) const {
  for (const auto& n : FNodes) {
    if (n->FName == aName) aList.push_back(n.get());
    n->findNamedNodes(aName, aList);
  }
}

void TXMLNode::getAllNodes(std::vector<TXMLNode*>& aList) const {
  for (const auto& n : FNodes) {
    aList.push_back(n.get());
    n->getAllNodes(aList);
  }
}

TXMLAttribute* TXMLNode::getNamedAttribute(std::string_view aName) const {
  for (const auto& a : FAttributes)
    if (a->Name() == aName) return a.get();
  return nullptr;
}

void TXMLNode::findNamedAttributes(std::string_view aName, std::vector<TXMLNode*>& aList) {
  if (getNamedAttribute(aName)) aList.push_back(this);
  for (const auto& n : FNodes)
    n->findNamedAttributes(aName, aList);
}

void TXMLNode::getNodeNames(TStringList& aList) const {
  aList.Clear();
  for (const auto& n : FNodes)
    aList.Add(n->FName);
}

void TXMLNode::getAttributeNames(TStringList& aList) const {
  aList.Clear();
  for (const auto& a : FAttributes)
    aList.Add(a->Name());
}

std::string TXMLNode::getNodePath() const {
  std::vector<const TXMLNode*> chain;
  for (const TXMLNode* n = this; n; n = n->FParentNode)
    chain.push_back(n);
  std::string path;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    if (!path.empty() || it != chain.rbegin()) path.push_back('/');
    path += (*it)->FName;
  }
  return path;
}

TXMLNode* TXMLNode::firstChild() const noexcept {
  return FNodes.empty() ? nullptr : FNodes.front().get();
}

TXMLNode* TXMLNode::lastChild() const noexcept {
  return FNodes.empty() ? nullptr : FNodes.back().get();
}

int TXMLNode::IndexOfChild(const TXMLNode* aNode) const noexcept {
  for (size_t i = 0; i < FNodes.size(); ++i)
    if (FNodes[i].get() == aNode) return static_cast<int>(i);
  return -1;
}

TXMLNode* TXMLNode::nextChild(const TXMLNode* CurrentNode) const noexcept {
  const int i = IndexOfChild(CurrentNode);
  if (i < 0 || i + 1 >= NodeCountDirect()) return nullptr;
  return FNodes[i + 1].get();
}

TXMLNode* TXMLNode::previousSibling() const noexcept {
  if (!FParentNode) return nullptr;
  const int i = FParentNode->IndexOfChild(this);
  return i > 0 ? FParentNode->FNodes[i - 1].get() : nullptr;
}

TXMLNode* TXMLNode::nextSibling() const noexcept {
  return FParentNode ? FParentNode->nextChild(this) : nullptr;
}

TXMLNode* TXMLNode::Nodes(int Index) const {
  if (Index < 0 || Index >= NodeCountDirect())
    throw EListError(Format("List index out of bounds (%d)", Index));
  return FNodes[Index].get();
}

TXMLAttribute* TXMLNode::Attributes(int Index) const {
  if (Index < 0 || Index >= AttributeCount())
    throw EListError(Format("List index out of bounds (%d)", Index));
  return FAttributes[Index].get();
}

// ---------------------------------------------------------------------------------------------
// TXMLTree

TXMLTree::TXMLTree(std::string AName, std::string AValue, TXMLNode* AParent)
    : TXMLNode(std::move(AName), std::move(AValue), AParent) {}

TXMLTree::~TXMLTree() = default;

void TXMLTree::LoadFromStream(TStream& Stream) {
  FLines.Clear();
  FLines.LoadFromStream(Stream);
  LoadFromText(FLines.Text());
}

void TXMLTree::LoadFromFile(const std::string& FileName, const std::string& Password) {
  if (!Password.empty())
    throw ENotImplemented("Encrypted XML files are not supported: " + FileName);
  TMemoryStream raw;
  raw.LoadFromFile(FileName);
  LoadFromText(CodePageToUtf8(std::string_view(raw.Memory(), static_cast<size_t>(raw.Size())),
                              SystemAnsiCodePage()));
}

void TXMLTree::LoadFromText(std::string_view Text) {
  ClearNodes();
  ClearAttributes();
  FValue.clear();
  FValueType = xmltString;
  FLines.Clear();
  Tokenise(Text);
  BuildTree();
}

void TXMLTree::Tokenise(std::string_view T) {
  const size_t n = T.size();
  size_t pos = 0;
  while (pos < n) {
    const size_t lt = T.find('<', pos);
    const size_t textEnd = lt == std::string_view::npos ? n : lt;
    std::string text = NormaliseWhitespace(T.substr(pos, textEnd - pos));
    if (!text.empty()) FLines.Add("TX:" + text);
    if (lt == std::string_view::npos) break;

    if (n - lt >= 9 && UpperCase(T.substr(lt, 9)) == "<![CDATA[") {
      const size_t start = lt + 9;
      const size_t end = T.find("]]>", start);
      std::string content(T.substr(start, (end == std::string_view::npos ? n : end) - start));
      ReplaceAllInPlace(content, "\r\n", "\\n ");
      ReplaceAllInPlace(content, "\t", "\\t ");
      FLines.Add("CD:" + content);
      pos = end == std::string_view::npos ? n : end + 3;
      continue;
    }

    const size_t gt = T.find('>', lt + 1);
    if (gt == std::string_view::npos) {
      pos = lt + 1;  // a lone '<' is skipped
      continue;
    }
    std::string tag = NormaliseWhitespace(T.substr(lt + 1, gt - lt - 1));
    if (!tag.empty() && tag.front() == '/')
      FLines.Add("CT:" + tag.substr(1));
    else if (!tag.empty() && tag.back() == '/')
      FLines.Add("ET:" + tag);
    else
      FLines.Add("OT:" + tag);
    pos = gt + 1;
  }
}

void TXMLTree::BuildTree() {
  FName = "root";
  FNodeCount = 0;
  TXMLNode* current = this;
  for (const std::string& line : FLines) {
    const std::string_view kind = std::string_view(line).substr(0, 3);
    const std::string_view rest = std::string_view(line).substr(3);
    if (kind == "OT:") {
      current = current->AddNodeEx(rest, {});
      ++FNodeCount;
    } else if (kind == "ET:") {
      current->AddNodeEx(rest, {});
    } else if (kind == "CT:") {
      // Close tags are not matched by name; surplus ones stop at the tree itself.
      if (current != this && current->ParentNode()) current = current->ParentNode();
    } else if (kind == "TX:") {
      current->SetValue(std::string(rest));
      current->SetValueType(xmltString);
    } else if (kind == "CD:") {
      current->SetValue(std::string(rest));
      current->SetValueType(xmltCDATA);
    }
  }
}

}  // namespace vela
