// velaimport card ...: contact file conversion through the card library.
#include <filesystem>
#include <iostream>
#include <memory>
#include <vector>

#include "Commands.h"
#include "rtl/CodePages.h"
#include "rtl/Exceptions.h"
#include "rtl/SysUtils.h"
#include "vcard/VCard.h"
#include "vcard/VCardItem.h"

namespace vela::cli {

namespace {

enum class TCardTarget { Unknown, VCard21, VCard30, Ldif };

TCardTarget TargetByName(const std::string& to) {
  if (to == "vcard21") return TCardTarget::VCard21;
  if (to == "vcard30") return TCardTarget::VCard30;
  if (to == "ldif") return TCardTarget::Ldif;
  return TCardTarget::Unknown;
}

TCardTarget TargetByExtension(const std::string& output) {
  std::string ext = LowerCase(std::filesystem::path(output).extension().string());
  if (ext == ".ldif") return TCardTarget::Ldif;
  if (ext == ".vcf") return TCardTarget::VCard30;
  return TCardTarget::Unknown;
}

struct TConvertOptions {
  std::string Input;
  std::string Output;
  std::string To;
  std::string Charset = "UTF-8";
};

// Copies every contact field by name through the card's field access; fieldMap holds the target
// index of each source field (-1: none), found once for all contacts.
void CopyContact(const TVCard& source, const TCustomCardItem& from, TVCard& target,
                 TCustomCardItem& to, const std::vector<int>& fieldMap) {
  for (int i = 0; i < source.FieldCount(); ++i) {
    const int j = fieldMap[i];
    if (j < 0 || from.IsFieldEmpty(source.GetFieldTypeInfo(i))) continue;
    source.CopyValue(from, i, target, to, j);
  }
}

int RunConvert(TCommandContext& c, const TConvertOptions& o) {
  TCardTarget target = o.To.empty() ? TargetByExtension(o.Output) : TargetByName(o.To);
  if (target == TCardTarget::Unknown)
    throw EUsageError(o.Output +
                      ": cannot tell the output format from the extension; use --to vcard21, "
                      "vcard30 or ldif");
  if (std::filesystem::is_directory(o.Input))
    throw EUsageError(o.Input + " is a folder, not a file");
  if (!std::filesystem::is_regular_file(o.Input)) throw EUsageError(o.Input + ": file not found");
  if (const int cp = CodePageFromName(o.Charset); cp == 0 || CodePageName(cp).empty())
    throw EUsageError("--charset: unknown charset '" + o.Charset +
                      "'; known: UTF-8, UTF-16, UTF-16BE, US-ASCII, ISO-8859-1 to ISO-8859-16, "
                      "windows-1250 to windows-1258, KOI8-R, KOI8-U, macintosh, or CPnnn for a "
                      "code page number");

  // One contact at a time: read, convert and write it before reading the next, so that memory
  // does not grow with the number of contacts.
  TVCard source;
  std::unique_ptr<TCardItemReader> reader;
  try {
    reader = std::make_unique<TCardItemReader>(source, o.Input);
  } catch (const std::exception& e) {
    throw ECommandFailed(o.Input + ": " + ExceptionText(e));
  }
  // Converting a file into itself writes beside it and replaces it at the end, since the input is
  // still being read while the output grows.
  std::error_code ec;
  const bool inPlace = std::filesystem::equivalent(o.Input, o.Output, ec);
  const std::string outFile = inPlace ? o.Output + ".converting" : o.Output;
  TVCard output;
  output.SetFileCharset(o.Charset);
  output.SetVCardVersion(target == TCardTarget::VCard21 ? vcv21 : vcv30);
  std::vector<int> fieldMap;
  for (int i = 0; i < source.FieldCount(); ++i)
    fieldMap.push_back(output.GetFieldIndexByName(source.GetFieldNames(i)));
  int contacts = 0;
  int skipped = 0;
  std::unique_ptr<TCardItemWriter> writer;
  // The read and the written item are kept and reset for every contact, which keeps the buffers
  // of their text fields.
  std::unique_ptr<TCustomCardItem> slot;
  std::unique_ptr<TCustomCardItem> copy;
  if (target == TCardTarget::Ldif)
    copy = std::make_unique<TLDifItem>(&output);
  else
    copy = std::make_unique<TVCardItem>(&output);
  while (true) {
    TCustomCardItem* item = nullptr;
    try {
      item = reader->Next(slot);
    } catch (const std::exception& e) {
      throw ECommandFailed(o.Input + ": " + ExceptionText(e));
    }
    try {
      if (!writer) writer = std::make_unique<TCardItemWriter>(output, outFile);
      if (!item) {
        writer->Finish();
        writer.reset();
        reader.reset();
        if (inPlace) std::filesystem::rename(outFile, o.Output);
        break;
      }
      if (!dynamic_cast<const TCustomAddressCardItem*>(item)) {
        ++skipped;  // calendar events found in a contact file
        continue;
      }
      copy->Reset();
      CopyContact(source, *item, output, *copy, fieldMap);
      if (target == TCardTarget::Ldif) {
        // An LDIF entry carries one mail attribute: take the first address the contact has.
        auto& contact = static_cast<TCustomAddressCardItem&>(*copy);
        if (contact.Email.empty())
          contact.Email = !contact.Email2.empty() ? contact.Email2 : contact.Email3;
      }
      writer->Write(*copy);
      ++contacts;
    } catch (const std::exception& e) {
      throw ECommandFailed(o.Output + ": " + ExceptionText(e));
    }
  }

  if (skipped)
    c.Message(TMessageKind::Warning,
              o.Input + ": " + IntToStr(skipped) + " item(s) that are no contacts were left out");
  c.Message(TMessageKind::Info, IntToStr(contacts) + " contact(s) written to " + o.Output);
  c.Output({{"result", true}, {"contacts", contacts}, {"skipped", skipped}, {"output", o.Output}});
  return kExitOk;
}

}  // namespace

void RegisterCardCommands(TCommandLine& cli) {
  auto* card = cli.AddGroup("card", "contact files: vCard 2.1, vCard 3.0 and LDIF");
  auto o = std::make_shared<TConvertOptions>();
  auto* convert =
      cli.Add(*card, "convert", "convert contacts between vCard 2.1, vCard 3.0 and LDIF",
              [o](TCommandContext& c) { return RunConvert(c, *o); });
  convert->add_option("INPUT", o->Input, "the contact file to read")->required();
  convert->add_option("OUTPUT", o->Output, "the file to write")->required();
  convert
      ->add_option("--to", o->To, "output format; without it .ldif gives LDIF and .vcf vCard 3.0")
      ->check(CLI::IsMember({"vcard21", "vcard30", "ldif"}));
  convert->add_option("--charset", o->Charset,
                      "charset of the written text (default UTF-8; LDIF writes non-ASCII values "
                      "as base64 of UTF-8)");
}

}  // namespace vela::cli
