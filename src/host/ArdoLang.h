// Translation store: texts by key in German, English, French and Italian.
#pragma once

#include <array>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <unordered_map>

namespace vela {

enum class TArdoLanguage : int { German = 0, English = 1, French = 2, Italian = 3 };

// "de", "deu", "German", "Deutsch" → German; "en", "English" → English; "fr", "French" →
// French; "it", "Italian" → Italian (ignoring case). Anything else yields fallback.
TArdoLanguage LanguageFromName(std::string_view name,
                               TArdoLanguage fallback = TArdoLanguage::English);
// "German", "English", "French", "Italian".
const char* LanguageName(TArdoLanguage lang);

class TArdoLang {
 public:
  // A text per language; an empty French or Italian text falls back to English, an empty
  // English text to German.
  void AddText(std::string_view key, std::string_view german, std::string_view english,
               std::string_view french = {}, std::string_view italian = {});
  bool HasText(std::string_view key) const;
  // The text of key in the language; a key that is not in the table yields the key itself, so
  // that a missing translation shows up instead of vanishing.
  std::string GetText(std::string_view key, TArdoLanguage lang) const;
  std::string GetText(std::string_view key, std::string_view language) const {
    return GetText(key, LanguageFromName(language));
  }
  // In the current language.
  std::string GetText(std::string_view key) const { return GetText(key, Language()); }

  TArdoLanguage Language() const { return FLanguage; }
  void SetLanguage(TArdoLanguage lang) { FLanguage = lang; }
  size_t Count() const;

 private:
  struct Entry {
    std::array<std::string, 4> Texts;
  };
  struct KeyHash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const;
  };
  struct KeyEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
  };
  mutable std::shared_mutex FLock;
  std::unordered_map<std::string, Entry, KeyHash, KeyEqual> FTexts;
  TArdoLanguage FLanguage = TArdoLanguage::German;
};

// Loads the data import module's message table ("IDS_..." keys; "⏎" in the source texts
// becomes a line break "\n").
void RegisterDataImportTexts(TArdoLang& lang);

}  // namespace vela
