// The splash screen, the credits scroller that runs through the window caption, and the
// credits notice in the language in force.
#include "shell/main_window.h"
#include "shell/text.h"

namespace tastrello {

namespace {

const std::string kGermanAndEnglishAddress = "tastrello@example.org";
const std::string kSpanishAddress = "tastrello-es@example.org";
constexpr std::size_t kCaptionWidth = 60;

}  // namespace

std::string suggestionsText() {
  return "   Mail suggestions and ideas for future releases to    " + kGermanAndEnglishAddress +
         " (German, English)    or    " + kSpanishAddress + " (Spanish)       Have fun!        ";
}

std::array<std::string, 3> creditsNotices(const std::string& nl) {
  const std::string address = "  " + kGermanAndEnglishAddress;
  return {
      "Diese Software ist kostenlos und frei nutzbar." + nl +
          "Wenn sie Dir gef\xE4llt, schick bitte einen Euro per Online-Bezahldienst." + nl + ":) " +
          nl + address + nl + nl + " * Es lebe die Musik  *",
      "This Software is absolutly free to use." + nl +
          "If you find it useful, please send one euro by an online payment service." + nl + ":)" +
          nl + address + nl + nl + "* Without music, life would be a mistake! *",
      "Este programa es gratuito; si te ayuda a aprender, env\xED"
      "a 20 pesos por el servicio de "
      "pago en l\xEDnea." +
          nl + nl + address + nl + nl + "    * Es por Amor *" + nl + "    * a la M\xFAsica *",
  };
}

void Form1::SplashTimer_Timer() {
  if (splashState == "FALSE") SplashTimer.enabled = false;
  if (splashState == "WAIT") {
    SplashTimer.enabled = false;
    Splashscreen.visible = false;
  }
  if (splashState == "TRUE") {
    Splashscreen.left = 368;
    Splashscreen.top = 112;
    Splashscreen.visible = true;
    splashState = "WAIT";
    SplashTimer.interval = 5000;
  }
}

void Form1::Splashscreen_Click() {
  Splashscreen.visible = false;
}

void Form1::splashSeen() {
  SplashTimer.enabled = false;
  Splashscreen.visible = false;
}

void Form1::NeverShow_Click() {
  settingKey = "SPLASH:";
  settingValue = "FALSE";
  storeSetting();
}

void Form1::Copyright_Click() {
  scrollPosition = 1;
  scrolltext.enabled = true;
}

void Form1::scrolltext_Timer() {
  Copyright.visible = false;
  windowCaption = mid(scrollText, scrollPosition, kCaptionWidth);
  ++scrollPosition;
  if (scrollPosition > static_cast<int>(scrollText.size()) - 57) {
    scrollPosition = 1;
    Copyright.visible = true;
    scrolltext.enabled = false;
  }
}

void Form1::showCredits() {
  AccordDisplay.fontSize = 10;
  const std::string name = upper(languageFile);
  int slot = 0;
  if (name == "LANG_BAY.TXT" || name == "LANG_GER.TXT")
    slot = 1;
  else if (name == "LANG_ENG.TXT")
    slot = 2;
  else if (name == "LANG_SPA.TXT")
    slot = 3;
  AccordDisplay.caption = creditsTexts[slot];
}

}  // namespace tastrello
