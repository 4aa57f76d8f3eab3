// Language files: 23 two-line entries, a note for the translator and the text, that give
// the window its fixed texts; and the four language pictures.
#include "window/form1.h"
#include "shell/text.h"

namespace tastrello {

namespace {

constexpr int kEntries = 23;

}  // namespace

bool Form1::loadLanguage() {
  const std::string path = dataFolder + languageFile;
  const auto bytes = services.files->read(path);
  const auto lines = bytes ? splitLines(*bytes) : std::vector<std::string>{};
  if (!bytes || lines.size() < 2 * kEntries) {
    status().report(say(Text::MsgLanguageRefused,
               {path, bytes ? say(Text::WhyLineCount, {std::to_string(lines.size()), "46"})
                            : say(Text::WhyUnreadable)}));
    applyRecordKind();  // the record list is still needed
    applyOwnTexts();
    return false;
  }
  auto text = [&lines](int entry) { return lines[2 * entry - 1]; };
  Label6.caption = text(1);
  Label8.caption = text(2);
  Label12.caption = text(3);
  Label7.caption = text(4);
  Label5.caption = text(5);
  Label11.caption = text(6);
  Label25.tag = text(7);
  Label1.caption = text(8);
  Label9.caption = text(9);
  Label4.caption = text(10);
  Label10.caption = text(11);
  Label14.caption = text(17);
  Label20.caption = text(18);
  Label21.caption = text(19);
  Label22.caption = text(20);
  Label23.caption = text(21);
  Label24.caption = text(22);
  Label25.caption = text(23);
  Label3.caption = Label25.tag;
  chordAdoptCaption = Label11.caption;
  // The kind switch carries the lessons heading as its caption.
  RecordLession.caption = Label25.caption;
  textsLanguage = languageFile;
  status().useLanguage(uiLanguageOf(textsLanguage));
  applyRecordKind();
  applyOwnTexts();
  return true;
}

void Form1::chooseLanguage(const std::string& file) {
  const std::string before = languageFile;
  languageFile = file;
  if (!loadLanguage()) {
    // A language that cannot be loaded changes nothing: not the setting, not the credits.
    languageFile = before;
    return;
  }
  languageChanged = true;
  status().sayAgain(*this);
  settingKey = "LANGUAGE:";
  settingValue = languageFile;
  storeSetting();
}

void Form1::Picture1_Click() {
  chooseLanguage("Lang_ENG.txt");
}
void Form1::Picture2_Click() {
  chooseLanguage("Lang_SPA.txt");
}
void Form1::Picture3_Click() {
  chooseLanguage("Lang_ger.txt");
}
void Form1::Picture4_Click() {
  chooseLanguage("LANG_BAY.TXT");
}

}  // namespace tastrello
