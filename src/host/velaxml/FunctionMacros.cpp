#include "host/velaxml/FunctionMacros.h"

#include <span>
#include <vector>

#include "host/velaxml/FilterExpressions.h"
#include "rtl/Guid.h"
#include "rtl/SysUtils.h"

namespace vela {

namespace {

bool IsBlank(char c) noexcept {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
bool IsNameStart(char c) noexcept {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
bool IsNameChar(char c) noexcept {
  return IsNameStart(c) || (c >= '0' && c <= '9');
}

// A value while a macro is evaluated: a text, or a moment from NOW or DATE.
struct TMacroValue {
  bool IsDate = false;
  TDateTime Date = 0;
  std::string Text;

  static TMacroValue FromDate(TDateTime dt) { return {true, dt, {}}; }
  // Dates become ISO text where a function needs text: "yyyy-mm-dd", with " hh:nn:ss" when the
  // moment has a time of day.
  std::string AsText() const {
    if (!IsDate) return Text;
    return FormatDateTime(TimeOf(Date) == 0 ? "yyyy-mm-dd" : "yyyy-mm-dd hh:nn:ss", Date);
  }
};

class TMacroEvaluator;
using TMacroArgs = std::span<const TMacroValue>;

struct TMacroFunction {
  std::string_view Name;
  int MinArgs;
  int MaxArgs;  // -1: any number
  TMacroValue (*Call)(TMacroEvaluator& AEval, TMacroArgs AArgs);
};

// A recursive descent over the macro text that evaluates each call once its arguments are read.
class TMacroEvaluator {
 public:
  TMacroEvaluator(std::string_view AText, const TXMLDataStore* AData, TDateTime (*ANow)(void*),
                  void* ANowContext)
      : FText(AText), FData(AData), FNow(ANow), FNowContext(ANowContext) {}

  TMacroValue Run() {
    SkipBlanks();
    if (!Peek('=')) Fail("a function macro starts with '=' and a function call");
    ++FPos;
    SkipBlanks();
    const size_t start = FPos;
    const std::string name = ReadName();
    SkipBlanks();
    if (name.empty() || !Peek('('))
      Fail("a function call must follow '=' at position " + std::to_string(start + 1));
    TMacroValue v = Call(name, start, 0);
    SkipBlanks();
    if (FPos < FText.size())
      Fail("unexpected '" + std::string(1, FText[FPos]) + "' at position " +
           std::to_string(FPos + 1) + " after the end of the macro");
    return v;
  }

  [[noreturn]] void Fail(const std::string& AWhat) const {
    throw EFunctionMacroError("Function macro '" + std::string(FText) + "': " + AWhat);
  }
  const TXMLDataStore* Data() const noexcept { return FData; }
  TDateTime Now() const { return FNow(FNowContext); }

 private:
  bool Peek(char c) const noexcept { return FPos < FText.size() && FText[FPos] == c; }
  void SkipBlanks() noexcept {
    while (FPos < FText.size() && IsBlank(FText[FPos]))
      ++FPos;
  }
  std::string ReadName() {
    const size_t start = FPos;
    if (FPos < FText.size() && IsNameStart(FText[FPos]))
      while (FPos < FText.size() && IsNameChar(FText[FPos]))
        ++FPos;
    return std::string(FText.substr(start, FPos - start));
  }

  // At '(' after the function name, which started at ANameAt.
  TMacroValue Call(const std::string& AName, size_t ANameAt, int ADepth);
  TMacroValue Argument(int ADepth);
  std::string QuotedText();

  std::string_view FText;
  const TXMLDataStore* FData;
  TDateTime (*FNow)(void*);
  void* FNowContext;
  size_t FPos = 0;
};

TMacroValue Now(TMacroEvaluator& AEval, TMacroArgs) {
  return TMacroValue::FromDate(AEval.Now());
}
TMacroValue Today(TMacroEvaluator& AEval, TMacroArgs) {
  return TMacroValue::FromDate(DateOf(AEval.Now()));
}
TMacroValue NewGuid(TMacroEvaluator&, TMacroArgs) {
  return {false, 0, GUIDToString(CreateGUID())};
}
TMacroValue Field(TMacroEvaluator& AEval, TMacroArgs AArgs) {
  const std::string name = Trim(AArgs[0].AsText());
  if (!AEval.Data()) AEval.Fail("FIELD(" + name + ") needs record data, and there is none here");
  return {false, 0, std::string(AEval.Data()->ValueByName(name))};
}
TMacroValue Concat(TMacroEvaluator&, TMacroArgs AArgs) {
  std::string s;
  for (const TMacroValue& a : AArgs)
    s += a.AsText();
  return {false, 0, std::move(s)};
}
TMacroValue Upper(TMacroEvaluator&, TMacroArgs AArgs) {
  return {false, 0, AnsiUpperCase(AArgs[0].AsText())};
}
TMacroValue Lower(TMacroEvaluator&, TMacroArgs AArgs) {
  return {false, 0, AnsiLowerCase(AArgs[0].AsText())};
}
TMacroValue TrimText(TMacroEvaluator&, TMacroArgs AArgs) {
  return {false, 0, Trim(AArgs[0].AsText())};
}
// FORMATDATE(format[; date]): the date is NOW when left out; an empty text gives an empty text.
TMacroValue FormatDate(TMacroEvaluator& AEval, TMacroArgs AArgs) {
  TDateTime dt = 0;
  if (AArgs.size() < 2) {
    dt = AEval.Now();
  } else if (AArgs[1].IsDate) {
    dt = AArgs[1].Date;
  } else {
    if (Trim(AArgs[1].Text).empty()) return {};
    bool dateOnly = false;
    if (!TryISODateTextToDateTime(AArgs[1].Text, dt, dateOnly))
      AEval.Fail("FORMATDATE: '" + AArgs[1].Text +
                 "' is not a date (yyyy-mm-dd, optionally with hh:nn or hh:nn:ss)");
  }
  return {false, 0, FormatDateTime(AArgs[0].AsText(), dt)};
}

constexpr TMacroFunction kFunctions[] = {
    {"NOW", 0, 0, Now},     {"DATE", 0, 0, Today},     {"GUID", 0, 0, NewGuid},
    {"FIELD", 1, 1, Field}, {"CONCAT", 1, -1, Concat}, {"UPPER", 1, 1, Upper},
    {"LOWER", 1, 1, Lower}, {"TRIM", 1, 1, TrimText},  {"FORMATDATE", 1, 2, FormatDate}};

std::string ArgumentCount(int n) {
  return std::to_string(n) + (n == 1 ? " argument" : " arguments");
}

TMacroValue TMacroEvaluator::Call(const std::string& AName, size_t ANameAt, int ADepth) {
  if (ADepth >= TVelaXMLProcessorFunctionMacroHandler::kMaxNesting)
    Fail("calls are nested deeper than " +
         std::to_string(TVelaXMLProcessorFunctionMacroHandler::kMaxNesting) + " levels");
  const TMacroFunction* fn = nullptr;
  for (const auto& f : kFunctions)
    if (SameText(f.Name, AName)) fn = &f;
  if (!fn) {
    std::string known;
    for (const auto& f : kFunctions)
      known += (known.empty() ? "" : ", ") + std::string(f.Name);
    Fail("unknown function '" + AName + "' at position " + std::to_string(ANameAt + 1) +
         " (known: " + known + ")");
  }
  const size_t open = FPos++;
  std::vector<TMacroValue> args;
  SkipBlanks();
  if (Peek(')')) {
    ++FPos;
  } else {
    for (;;) {
      args.push_back(Argument(ADepth));
      if (FPos >= FText.size())
        Fail("the '(' of " + std::string(fn->Name) + " at position " + std::to_string(open + 1) +
             " is not closed");
      if (FText[FPos++] == ')') break;  // else the ';' before the next argument
    }
  }
  const int n = static_cast<int>(args.size());
  if (n < fn->MinArgs || (fn->MaxArgs >= 0 && n > fn->MaxArgs)) {
    std::string wanted = fn->MaxArgs < 0 ? "at least " + ArgumentCount(fn->MinArgs)
                         : fn->MinArgs == fn->MaxArgs
                             ? ArgumentCount(fn->MinArgs)
                             : std::to_string(fn->MinArgs) + " or " + ArgumentCount(fn->MaxArgs);
    Fail(std::string(fn->Name) + " takes " + wanted + ", not " + std::to_string(n));
  }
  return fn->Call(*this, args);
}

// One argument up to the ';' or ')' after it (FPos is left there, or at the end): a quoted
// text, a call, or a plain text with the blanks around it removed.
TMacroValue TMacroEvaluator::Argument(int ADepth) {
  SkipBlanks();
  TMacroValue v;
  if (Peek('"')) {
    v.Text = QuotedText();
  } else {
    const size_t start = FPos;
    const std::string name = ReadName();
    SkipBlanks();
    if (!name.empty() && Peek('(')) {
      v = Call(name, start, ADepth + 1);
    } else {
      while (FPos < FText.size() && FText[FPos] != ';' && FText[FPos] != ')') {
        if (FText[FPos] == '(' || FText[FPos] == '"')
          Fail("unexpected '" + std::string(1, FText[FPos]) + "' at position " +
               std::to_string(FPos + 1) + "; write texts that contain it in double quotes");
        ++FPos;
      }
      v.Text = Trim(FText.substr(start, FPos - start));
      return v;
    }
  }
  SkipBlanks();
  if (FPos < FText.size() && FText[FPos] != ';' && FText[FPos] != ')')
    Fail("';' or ')' expected at position " + std::to_string(FPos + 1));
  return v;
}

// At the opening quote: the text up to the closing one, "" standing for a quote.
std::string TMacroEvaluator::QuotedText() {
  const size_t open = FPos++;
  std::string s;
  for (;;) {
    if (FPos >= FText.size())
      Fail("the quote at position " + std::to_string(open + 1) + " is not closed");
    const char c = FText[FPos++];
    if (c != '"') {
      s += c;
    } else if (Peek('"')) {
      s += '"';
      ++FPos;
    } else {
      return s;
    }
  }
}

}  // namespace

bool TVelaXMLProcessorFunctionMacroHandler::GetContentIsFunctionMacro(
    std::string_view AContent) const {
  size_t i = 0;
  auto skip = [&] {
    while (i < AContent.size() && IsBlank(AContent[i]))
      ++i;
  };
  skip();
  if (i >= AContent.size() || AContent[i] != '=') return false;
  ++i;
  skip();
  if (i >= AContent.size() || !IsNameStart(AContent[i])) return false;
  while (i < AContent.size() && IsNameChar(AContent[i]))
    ++i;
  skip();
  return i < AContent.size() && AContent[i] == '(';
}

Variant TVelaXMLProcessorFunctionMacroHandler::ExecuteFunctionMacro(std::string_view AContent) {
  bool isText = false;
  return ExecuteFunctionMacro(AContent, nullptr, isText);
}

Variant TVelaXMLProcessorFunctionMacroHandler::ExecuteFunctionMacro(std::string_view AContent,
                                                                    const TXMLDataStore* AData,
                                                                    bool& AIsText) {
  auto now = [](void* self) {
    return static_cast<TVelaXMLProcessorFunctionMacroHandler*>(self)->CurrentTime();
  };
  TMacroValue v = TMacroEvaluator(AContent, AData, now, this).Run();
  AIsText = !v.IsDate;
  return v.IsDate ? Variant::FromDateTime(v.Date) : Variant(std::move(v.Text));
}

TDateTime TVelaXMLProcessorFunctionMacroHandler::CurrentTime() const {
  return FMainInterface ? FMainInterface->Get_CurrentTime() : vela::Now();
}

}  // namespace vela
