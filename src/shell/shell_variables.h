// The window variables of the application shell: the settings file, the language files, the
// splash screen and the credits. The window object is built on them (it inherits them under
// their names); they start with the values start-up gives them.
#pragma once

#include <array>
#include <string>

namespace tastrello {

constexpr int kTableSlots = 201;  // text tables with slots 0..200

struct ShellVariables {
  std::string newLine = "\r\n";
  std::string titleBanner;
  std::string scrollText;
  int scrollPosition = 0;
  std::array<std::string, 11> creditsTexts;
  std::string dataFolder = "Data/";
  std::string languageFile = "Lang_ger.txt";
  bool languageChanged = false;
  std::string chordAdoptCaption;
  std::string splashState;
  std::string helpEditSetting;
  std::array<std::string, kTableSlots> instrumentNames;
  std::string settingKey;
  std::string settingValue;
};

}  // namespace tastrello
