// velaimport card ...: contact file conversion through the card library.
#include <filesystem>
#include <iostream>
#include <memory>

#include "Commands.h"
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

// Copies every contact field by name through the card's field access.
void CopyContact(const TVCard& source, const TCustomCardItem& from, TVCard& target,
                 TCustomCardItem& to) {
  for (int i = 0; i < source.FieldCount(); ++i) {
    int j = target.GetFieldIndexByName(source.GetFieldNames(i));
    if (j < 0) continue;
    if (from.IsFieldEmpty(source.GetFieldTypeInfo(i))) continue;
    target.SetValues(to, j, source.GetValues(from, i));
  }
}

int RunConvert(const TConvertOptions& o, const GlobalOptions& global) {
  auto fail = [&](int code, const std::string& message) {
    if (global.Json)
      std::cerr << "{\"type\":\"error\",\"message\":" << JsonQuote(message) << "}\n";
    else
      std::cerr << "error: " << message << "\n";
    return code;
  };
  TCardTarget target = o.To.empty() ? TargetByExtension(o.Output) : TargetByName(o.To);
  if (target == TCardTarget::Unknown)
    return fail(kExitUsage, o.Output +
                                ": cannot tell the output format from the extension; use --to "
                                "vcard21, vcard30 or ldif");
  if (!std::filesystem::is_regular_file(o.Input))
    return fail(kExitUsage, o.Input + ": file not found");

  TVCard source;
  try {
    source.LoadFromFile(o.Input);
  } catch (const std::exception& e) {
    return fail(kExitFailed, o.Input + ": " + ExceptionText(e));
  }

  TVCard output;
  output.SetFileCharset(o.Charset);
  output.SetVCardVersion(target == TCardTarget::VCard21 ? vcv21 : vcv30);
  int contacts = 0;
  int skipped = 0;
  try {
    for (const auto& item : source.Items()) {
      if (!dynamic_cast<const TCustomAddressCardItem*>(item.get())) {
        ++skipped;  // calendar events found in a contact file
        continue;
      }
      std::unique_ptr<TCustomCardItem> copy;
      if (target == TCardTarget::Ldif)
        copy = std::make_unique<TLDifItem>(&output);
      else
        copy = std::make_unique<TVCardItem>(&output);
      CopyContact(source, *item, output, *copy);
      if (target == TCardTarget::Ldif) {
        // An LDIF entry carries one mail attribute: take the first address the contact has.
        auto& c = static_cast<TCustomAddressCardItem&>(*copy);
        if (c.Email.empty()) c.Email = !c.Email2.empty() ? c.Email2 : c.Email3;
      }
      output.Items().Add(std::move(copy));
      ++contacts;
    }
    output.SaveAllToFile(o.Output);
  } catch (const std::exception& e) {
    return fail(kExitFailed, o.Output + ": " + ExceptionText(e));
  }

  if (global.Json) {
    std::cout << "{\"result\":true,\"contacts\":" << contacts << ",\"skipped\":" << skipped
              << ",\"output\":" << JsonQuote(o.Output) << "}\n";
  } else if (!global.Quiet) {
    if (skipped)
      std::cerr << "warning: " << o.Input << ": " << skipped
                << " item(s) that are no contacts were left out\n";
    std::cerr << "info: " << contacts << " contact(s) written to " << o.Output << "\n";
  }
  return kExitOk;
}

}  // namespace

void RegisterCardCommands(CLI::App& app, GlobalOptions& global, CommandAction& action) {
  auto* card = app.add_subcommand("card", "contact files: vCard 2.1, vCard 3.0 and LDIF");
  card->require_subcommand(1);
  auto options = std::make_shared<TConvertOptions>();
  auto* convert =
      card->add_subcommand("convert", "convert contacts between vCard 2.1, vCard 3.0 and LDIF");
  convert->add_option("INPUT", options->Input, "the contact file to read")->required();
  convert->add_option("OUTPUT", options->Output, "the file to write")->required();
  convert
      ->add_option("--to", options->To,
                   "output format; without it .ldif gives LDIF and .vcf vCard 3.0")
      ->check(CLI::IsMember({"vcard21", "vcard30", "ldif"}));
  convert->add_option("--charset", options->Charset,
                      "charset of the written text (default UTF-8; LDIF writes non-ASCII values "
                      "as base64 of UTF-8)");
  convert->callback([&action, &global, options] {
    action = [&global, options] { return RunConvert(*options, global); };
  });
}

}  // namespace vela::cli
