#include "shell/ui_texts.h"

#include "shell/text.h"

namespace tastrello {

namespace {

constexpr const char* kTexts[static_cast<int>(Text::Count)][4] = {
#define TEXT(id, german, english, spanish, bavarian) {german, english, spanish, bavarian},
#include "shell/ui_texts.inc"
#undef TEXT
};

}  // namespace

UiLanguage uiLanguageOf(const std::string& languageFile) {
  const std::string name = upper(languageFile);
  if (name == "LANG_ENG.TXT") return UiLanguage::English;
  if (name == "LANG_SPA.TXT") return UiLanguage::Spanish;
  if (name == "LANG_BAY.TXT") return UiLanguage::Bavarian;
  return UiLanguage::German;
}

std::string uiText(UiLanguage language, Text id, std::initializer_list<std::string> args) {
  std::string text = kTexts[static_cast<int>(id)][static_cast<int>(language)];
  int n = 1;
  for (const auto& arg : args) {
    const std::string mark = "%" + std::to_string(n++);
    const auto at = text.find(mark);
    if (at != std::string::npos) text.replace(at, mark.size(), arg);
  }
  return text;
}

}  // namespace tastrello
