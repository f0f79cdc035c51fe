// The writer scheme shared by the JSON and the variant-list converter: a converter walks its
// content and drives a writer, which appends text or an HTML fragment to the converter's
// Content. The text and HTML writers follow the same rules for both converters; each converter
// instantiates them for itself (TConverter needs a public std::string& Content()).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "host/HTMLUtils.h"
#include "rtl/DateUtils.h"
#include "rtl/SysUtils.h"

namespace vela {

template <class TConverter>
class TCustomConverterWriter {
 public:
  using Converter = TConverter;

  explicit TCustomConverterWriter(TConverter* AConverter) : FConverter(AConverter) {}
  virtual ~TCustomConverterWriter() = default;

  virtual void StartBlock() = 0;
  virtual void EndBlock() = 0;
  virtual void WriteTitle(std::string_view ATitle, int ALevel) = 0;
  virtual void WriteListStart(std::string_view AName) = 0;
  virtual void WriteListEnd(std::string_view AName) = 0;
  virtual void WriteStr(std::string_view AValue, std::string_view AName) = 0;
  // The typed writes render the value and write it as a string. Integers are shown in full,
  // whatever their size.
  virtual void WriteInt(int64_t AValue, std::string_view AName) {
    WriteStr(std::to_string(AValue), AName);
  }
  virtual void WriteFloat(double AValue, std::string_view AName) {
    WriteStr(FloatToStr(AValue), AName);
  }
  virtual void WriteDateTime(TDateTime AValue, std::string_view AName) {
    WriteStr(DateTimeToStr(AValue), AName);
  }
  virtual void WriteBool(bool AValue, std::string_view AName) {
    WriteStr(AValue ? "True" : "False", AName);
  }

 protected:
  std::string& Content() { return FConverter->Content(); }

  TConverter* FConverter;  // not owned
};

// Characters (not bytes) of a UTF-8 text.
inline size_t Utf8Length(std::string_view s) {
  size_t n = 0;
  for (const char c : s)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
  return n;
}

// Plain text: titles underlined with "*", one line per value ("name: value"), list items
// indented by two blanks per level and marked with "-". Nothing is escaped.
template <class TBase>
class TConverterTextWriter : public TBase {
 public:
  using TBase::TBase;
  static std::unique_ptr<TBase> Create(typename TBase::Converter* AConverter) {
    return std::make_unique<TConverterTextWriter>(AConverter);
  }

  void StartBlock() override {}
  void EndBlock() override {}
  void WriteTitle(std::string_view ATitle, int) override {
    std::string& c = this->Content();
    if (!c.empty()) c += "\n\n";
    c.append(ATitle).append("\n\n").append(Utf8Length(ATitle), '*');
  }
  void WriteListStart(std::string_view AName) override {
    if (!AName.empty()) WriteTitle(AName, 1);
    ++FIndent;
  }
  void WriteListEnd(std::string_view) override {
    --FIndent;
    this->Content() += "\r\n";
  }
  void WriteStr(std::string_view AValue, std::string_view AName) override {
    std::string& c = this->Content();
    if (!c.empty()) c += "\r\n";
    if (FIndent > 0) c.append(static_cast<size_t>(FIndent) * 2, ' ') += '-';
    if (!AName.empty()) c.append(AName).append(": ");
    c.append(AValue);
  }

 protected:
  int FIndent = 0;  // list nesting depth
};

// An HTML fragment: titles as headings, values in bold after their HTML-encoded name, lists as
// <ul> with one <li> per item.
template <class TBase>
class TConverterHTMLWriter : public TBase {
 public:
  using TBase::TBase;
  static std::unique_ptr<TBase> Create(typename TBase::Converter* AConverter) {
    return std::make_unique<TConverterHTMLWriter>(AConverter);
  }

  void StartBlock() override {
    if (FIndent > 0) this->Content() += "<li>";
  }
  void EndBlock() override {
    if (FIndent > 0) this->Content() += "</li>";
  }
  void WriteTitle(std::string_view ATitle, int ALevel) override {
    std::string& c = this->Content();
    if (!c.empty()) c += "<br>";
    const std::string level = std::to_string(ALevel);
    c += "<h" + level + ">" + Encode(ATitle) + "</h" + level + ">";
  }
  void WriteListStart(std::string_view AName) override {
    if (!AName.empty()) WriteTitle(AName, 2);
    this->Content() += "<ul>";
    ++FIndent;
  }
  void WriteListEnd(std::string_view) override {
    this->Content() += "</ul>";
    --FIndent;
  }
  void WriteStr(std::string_view AValue, std::string_view AName) override {
    std::string& c = this->Content();
    if (FIndent >= 1)
      c += "<li>";
    else if (!c.empty())
      c += "<br>";
    if (!AName.empty()) c += Encode(AName) + Encode(":") + "&nbsp;";
    c += "<b>" + Encode(AValue) + "</b>";
    if (FIndent > 0) c += "</li>";
  }

 protected:
  static std::string Encode(std::string_view s) { return THTMLUtils::HtmlEncode(s, true); }

  int FIndent = 0;  // list nesting depth
};

}  // namespace vela
