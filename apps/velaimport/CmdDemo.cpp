// velaimport demo: a short tour of the runtime — the message table in the chosen language, the
// runtime's Format with index specifiers, dates and a name=value list — until the first real
// import takes its place as the main job.
#include <iostream>

#include "Commands.h"
#include "host/ArdoLang.h"
#include "rtl/Classes.h"
#include "rtl/DateUtils.h"
#include "rtl/Format.h"
#include "rtl/SysUtils.h"

namespace vela::cli {

void RegisterDemoCommands(CLI::App& app, GlobalOptions& global, CommandAction& action) {
  auto* cmd = app.add_subcommand("demo", "show the runtime at work");
  cmd->callback([&action, &global] {
    action = [&global] {
      TArdoLang lang;
      RegisterDataImportTexts(lang);
      lang.SetLanguage(LanguageFromName(global.Lang));
      const TFormatSettings fs = FormatSettingsFor(global.Lang);

      TStringList record;
      record.SetCommaText("custno=1001,\"name=Müller & Söhne\",price=1234.5");
      std::cout << lang.GetText("IDS_ImpStart") << "\n";
      for (int i = 0; i < record.Count(); ++i)
        std::cout << "  " << record.Names(i) << " = " << record.ValueFromIndex(i) << "\n";
      std::cout << "  price as number: " << Format(fs, "%n", StrToFloat(record.Values("price")))
                << "\n";
      std::cout << Format(lang.GetText("IDS_CastError"), "price", "amount", "12,x", "bad number")
                << "\n";
      std::cout << Format(lang.GetText("IDS_ImpCntNew"), IntToStr(1)) << "\n";
      std::cout << lang.GetText("IDS_ImpDone") << " " << DateTimeToStr(Now(), fs) << "\n";
      return 0;
    };
  });
}

}  // namespace vela::cli
