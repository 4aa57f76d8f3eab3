#include "shell/ui_texts.h"

#include "shell/text.h"

#include <string_view>

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

std::string uiText(UiLanguage language, Text id, const std::vector<std::string>& args) {
  const std::string_view text = kTexts[static_cast<int>(id)][static_cast<int>(language)];
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const std::size_t n = i + 1 < text.size() ? std::size_t(text[i + 1] - '0') : 0;
    if (text[i] == '%' && n >= 1 && n <= 9 && n <= args.size()) {
      out += args[n - 1];
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string uiText(UiLanguage language, Text id, std::initializer_list<std::string> args) {
  return uiText(language, id, std::vector<std::string>(args));
}

}  // namespace tastrello
