// The module's own small XML tree, used for the data schema files (*.tic). It is deliberately not
// a general XML parser: a tokeniser cuts the text into open, close, empty-element, text and CDATA
// tokens and a tree builder nests them. Schema files rely on exactly its quirks: the XML
// declaration becomes an element that is never closed (so the document element hangs below it),
// comments and processing instructions are elements too, close tags are not matched by name, and
// attribute values are unescaped in a fixed order.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "rtl/Classes.h"

namespace vela {

class TStream;

enum TXMLValueType { xmltString = 0, xmltCDATA = 1 };

// Attribute values are held unescaped.
std::string XMLUnescapeAttribute(std::string_view value);
// Escapes a value for writing: digits and ASCII letters stay, & < > ' " become the named
// entities, every other character (the blank included) becomes "&#" + its UTF-16 code + ";".
std::string XMLEscapeAttribute(std::string_view value);

class TXMLAttribute {
 public:
  // The value is unescaped.
  TXMLAttribute(std::string aName, std::string_view aValue);

  const std::string& Name() const noexcept { return FName; }
  void SetName(std::string aName) { FName = std::move(aName); }
  const std::string& Value() const noexcept { return FValue; }
  // Unescapes the given text.
  void SetValue(std::string_view aValue) { FValue = XMLUnescapeAttribute(aValue); }
  // " name=\"value\"" with the value as held (not escaped).
  std::string document() const;

 private:
  std::string FName;
  std::string FValue;
};

class TXMLNode {
 public:
  TXMLNode(std::string aName, std::string aValue, TXMLNode* aParent);
  virtual ~TXMLNode();
  TXMLNode(const TXMLNode&) = delete;
  TXMLNode& operator=(const TXMLNode&) = delete;

  // Appends a child named aName.
  TXMLNode* AddNode(std::string aName, std::string aValue);
  // Appends a child from tag text: the name up to the first blank, then name="value" pairs
  // (double quotes only; scanning stops when no further '=' or quote pair is found).
  TXMLNode* AddNodeEx(std::string_view aTagText, std::string aValue);
  // Frees the child or attribute and removes it. Raise EListError for a bad index.
  void DeleteNode(int Index);
  void ClearNodes();
  TXMLAttribute* AddAttribute(std::string aName, std::string_view aValue);
  void DeleteAttribute(int Index);
  void ClearAttributes();

  // First direct child with exactly this name (case-sensitive); nullptr if none.
  TXMLNode* getNamedNode(std::string_view aName) const;
  // First descendant with this name, depth-first pre-order; nullptr if none.
  TXMLNode* findNamedNode(std::string_view aName) const;
  // Appends every descendant with this name, pre-order.
  void findNamedNodes(std::string_view aName, std::vector<TXMLNode*>& aList) const;
  // Appends all descendants, pre-order.
  void getAllNodes(std::vector<TXMLNode*>& aList) const;
  // Exact, case-sensitive; nullptr if none.
  TXMLAttribute* getNamedAttribute(std::string_view aName) const;
  // Appends this node and every descendant that carries an attribute of that name.
  void findNamedAttributes(std::string_view aName, std::vector<TXMLNode*>& aList);
  // Clear the list, then add the names of the direct children / attributes.
  void getNodeNames(TStringList& aList) const;
  void getAttributeNames(TStringList& aList) const;
  // Names from the top node down to this one joined by '/', e.g. "root/dataschemas/schema".
  std::string getNodePath() const;

  bool hasChildNodes() const noexcept { return !FNodes.empty(); }
  TXMLNode* firstChild() const noexcept;
  TXMLNode* lastChild() const noexcept;
  // The child after CurrentNode; nullptr at the end or when CurrentNode is not a child.
  TXMLNode* nextChild(const TXMLNode* CurrentNode) const noexcept;
  TXMLNode* previousSibling() const noexcept;
  TXMLNode* nextSibling() const noexcept;

  const std::string& Name() const noexcept { return FName; }
  void SetName(std::string aName) { FName = std::move(aName); }
  const std::string& Value() const noexcept { return FValue; }
  void SetValue(std::string aValue) { FValue = std::move(aValue); }
  TXMLValueType ValueType() const noexcept { return FValueType; }
  void SetValueType(TXMLValueType aType) noexcept { FValueType = aType; }
  TXMLNode* ParentNode() const noexcept { return FParentNode; }

  int NodeCountDirect() const noexcept { return static_cast<int>(FNodes.size()); }
  TXMLNode* Nodes(int Index) const;
  int AttributeCount() const noexcept { return static_cast<int>(FAttributes.size()); }
  TXMLAttribute* Attributes(int Index) const;

 protected:
  std::string FName;
  std::string FValue;
  std::vector<std::unique_ptr<TXMLNode>> FNodes;
  std::vector<std::unique_ptr<TXMLAttribute>> FAttributes;
  TXMLNode* FParentNode;
  TXMLValueType FValueType = xmltString;

 private:
  int IndexOfChild(const TXMLNode* aNode) const noexcept;
};

// The tree object is itself the top node; after a load it is named "root".
class TXMLTree : public TXMLNode {
 public:
  TXMLTree(std::string AName = {}, std::string AValue = {}, TXMLNode* AParent = nullptr);
  ~TXMLTree() override;

  // Reads the stream from its position as text (a BOM selects UTF-8 or UTF-16, else valid
  // UTF-8 is taken as it is, else the system's ANSI code page), tokenises and builds the tree.
  void LoadFromStream(TStream& Stream);
  // Reads the file's bytes as 8-bit text in the system's ANSI code page. Encrypted files
  // (a non-empty Password) are not supported here and raise ENotImplemented.
  void LoadFromFile(const std::string& FileName, const std::string& Password = {});
  // Tokenises and builds from UTF-8 text.
  void LoadFromText(std::string_view Text);

  // The token list of the last load ("OT:", "CT:", "ET:", "TX:", "CD:" lines).
  const TStringList& Lines() const noexcept { return FLines; }
  // Opening tags seen in the last load.
  int NodeCount() const noexcept { return FNodeCount; }

 private:
  void Tokenise(std::string_view Text);
  void BuildTree();

  TStringList FLines;
  int FNodeCount = 0;
};

}  // namespace vela
