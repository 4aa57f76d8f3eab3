// The program's own texts, those the language files do not hold, in German, English, Spanish
// and Bavarian: captions, tool tips, and the reasons given for refusals. Windows-1252 bytes.
// The texts themselves are in ui_texts.inc, made by scripts/texts.py.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

namespace tastrello {

enum class UiLanguage { German, English, Spanish, Bavarian };

enum class Text {
#define TEXT(id, german, english, spanish, bavarian) id,
#include "shell/ui_texts.inc"
#undef TEXT
  Count
};

/// The language of a language file's name (German for any name it does not know).
UiLanguage uiLanguageOf(const std::string& languageFile);

/// The text in the language, with each "%1", "%2", ... replaced by the arguments in order; what
/// an argument holds is never read for marks.
std::string uiText(UiLanguage language, Text id, std::initializer_list<std::string> args = {});
std::string uiText(UiLanguage language, Text id, const std::vector<std::string>& args);

}  // namespace tastrello
