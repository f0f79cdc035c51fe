#include "host/ArdoLang.h"

#include "rtl/SysUtils.h"

namespace vela {

TArdoLanguage LanguageFromName(std::string_view name, TArdoLanguage fallback) {
  std::string n = LowerCase(Trim(name));
  if (n == "de" || n == "deu" || n == "ger" || n == "german" || n == "deutsch")
    return TArdoLanguage::German;
  if (n == "en" || n == "eng" || n == "english" || n == "englisch") return TArdoLanguage::English;
  if (n == "fr" || n == "fra" || n == "french" || n == "francais") return TArdoLanguage::French;
  if (n == "it" || n == "ita" || n == "italian" || n == "italiano") return TArdoLanguage::Italian;
  return fallback;
}

const char* LanguageName(TArdoLanguage lang) {
  switch (lang) {
    case TArdoLanguage::German:
      return "German";
    case TArdoLanguage::English:
      return "English";
    case TArdoLanguage::French:
      return "French";
    case TArdoLanguage::Italian:
      return "Italian";
  }
  return "English";
}

size_t TArdoLang::KeyHash::operator()(std::string_view s) const {
  // Keys compare ignoring ASCII case: hash the folded text.
  size_t h = 1469598103934665603ULL;
  for (char c : s) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u >= 'A' && u <= 'Z') u = static_cast<unsigned char>(u + 32);
    h = (h ^ u) * 1099511628211ULL;
  }
  return h;
}

bool TArdoLang::KeyEqual::operator()(std::string_view a, std::string_view b) const {
  return SameText(a, b);
}

void TArdoLang::AddText(std::string_view key, std::string_view german, std::string_view english,
                        std::string_view french, std::string_view italian) {
  auto fix = [](std::string_view s) { return StringReplace(s, "⏎", "\n", rfReplaceAll); };
  Entry e{{fix(german), fix(english), fix(french), fix(italian)}};
  std::unique_lock lock(FLock);
  FTexts.insert_or_assign(std::string(key), std::move(e));
}

bool TArdoLang::HasText(std::string_view key) const {
  std::shared_lock lock(FLock);
  return FTexts.find(key) != FTexts.end();
}

size_t TArdoLang::Count() const {
  std::shared_lock lock(FLock);
  return FTexts.size();
}

std::string TArdoLang::GetText(std::string_view key, TArdoLanguage lang) const {
  std::shared_lock lock(FLock);
  auto it = FTexts.find(key);
  if (it == FTexts.end()) return std::string(key);
  const auto& t = it->second.Texts;
  int i = static_cast<int>(lang);
  if (!t[i].empty()) return t[i];
  if (!t[1].empty()) return t[1];
  return t[0];
}

void RegisterDataImportTexts(TArdoLang& l) {
  l.AddText("IDS_ImpStart", "Import gestartet", "Import started");
  l.AddText("IDS_ImpStartSim", "Simulation gestartet", "Simulation started");
  l.AddText("IDS_ImpDone", "Import beendet", "Import finished");
  l.AddText("IDS_ImpDoneSim", "Simulation beendet", "Simulation finished");
  l.AddText("IDS_ImpCntNew", "Neue Datensätze: %s", "New records: %s");
  l.AddText("IDS_ImpCntUpd", "Aktualisierte Datensätze: %s", "Updated records: %s");
  l.AddText("IDS_ImpAbortedError",
            "Import wird auf Grund eines vorhergehenden Fehlers abgebrochen!",
            "Import canceled because of previous error!");
  l.AddText("IDS_ImpAbortedWarning",
            "Import wird auf Grund einer vorhergehenden Warnung abgebrochen!",
            "Import canceled because of previous warning!");
  l.AddText("IDS_SkipConHint",
            "Datensatz %s wird aufgrund einer bedingten Regel ignoriert und nicht importiert.",
            "Omitting record '%s' because of defined import rule!");
  l.AddText("IDS_SkipError",
            "Datensatz %s wird auf Grund eines vorhergehenden Fehlers nicht importiert!",
            "Omitting record '%s' because of previous error!");
  l.AddText("IDS_SkipWarning",
            "Datensatz %s wird auf Grund einer vorhergehenden Warnung nicht importiert!",
            "Omitting record '%s' because of previous warning!");
  l.AddText("IDS_CastError",
            "Wert '%2:s' des Importfeldes '%0:s' kann nicht in den erforderlichen Datentyp für das "
            "Datenbankfeld '%1:s' konvertiert werden. (Meldung: %3:s)",
            "Cant't convert value '%2:s' of import field '%0:s' to required datatype for database "
            "field '%1:s'. (Message: %3:s)");
  l.AddText("IDS_CSQLERR", "Fehler im Datenbankobjekt: '%s'", "Error in database object: '%s'");
  l.AddText("IDS_CANTWRFILE",
            "Kann Datei '%s' nicht schreiben/erzeugen!⏎⏎Fehler: %s⏎⏎Entweder ist die Datei noch in "
            "einem anderen Programm geöffnet und desshalb gesperrt oder Sie besitzen nicht die "
            "nötigen Berechtigungen.",
            "Can not write/create file '%s'!⏎⏎Error: %s⏎⏎May the file is still locked by a other "
            "application or you don't have enough rights to write this file.");
  l.AddText("IDS_GENBIWIZ", "Allgemeiner Business Integration Datenimport",
            "General Business Integration Dataimport");
  l.AddText("IDS_GENVelaXMLWZEXP", "Allgemeiner Business Integration Datenexport",
            "General Business Integration Dataexport");
  l.AddText("IDS_processedNEW", "Neu", "New");
  l.AddText("IDS_processedSUCCESS", "Erfolgreich", "Successfully");
  l.AddText("IDS_processedFAILED", "Fehlgeschlagen", "Failed");
  l.AddText("IDS_processedDELETED", "Gelöscht", "Deleted");
  // Standard dialog buttons.
  l.AddText("IDS_BtnOK", "OK", "OK");
  l.AddText("IDS_BtnCancel", "Abbrechen", "Cancel");
  l.AddText("IDS_BtnYes", "Ja", "Yes");
  l.AddText("IDS_BtnNo", "Nein", "No");
  l.AddText("IDS_BtnClose", "Schließen", "Close");
}

}  // namespace vela
