// The program's own texts, those the language files do not hold, in German, English, Spanish
// and Bavarian: captions, tool tips, and the reasons given for refusals. Windows-1252 bytes.
#pragma once

#include <initializer_list>
#include <string>

namespace tastrello {

enum class UiLanguage { German, English, Spanish, Bavarian };

enum class Text {
  SoundCaption,
  ReplayCaption,
  NotesCaption,
  NumbersCaption,
  HelpCaption,
  InstrumentHeading,
  TempoText,
  CountIn,
  TipRecord,
  TipCancel,
  TipSave,
  TipCommit,
  TipRestPlay,
  TipRestMute,
  TipDelete,
  TipReplace,
  TipInsert,
  TipAfresh,
  TipPlay,
  TipPause,
  TipStop,
  TipSingle,
  TipRepeat,
  TipExpand,
  TipCollapse,
  TipMinus,
  TipPlus,
  TipEnglish,
  TipSpanish,
  TipGerman,
  TipCredits,
  TipSound,
  TipCut,
  TipNotes,
  TipNumbers,
  TipHelp,
  TipLessons,
  TipSpeed,
  TipName,
  TipPull,
  TipPush,
  TipStatus,
  BellowsPull,
  BellowsPush,
  BellowsBoth,
  KeyboardPlayCaption,
  KeyLettersCaption,
  TipKeyboardPlay,
  TipKeyLetters,
  MidiInNone,
  MsgKeyMapLine,
  MsgNoButtonForPitch,
  MsgMidiIn,
  TuningOwn,
  TipTuning,
  TabCaption,
  TipTab,
  MsgExported,
  TipInstruments,
  MsgNameEmpty,
  MsgNameUnsafe,
  WhyCharacter,
  WhyControl,
  WhyDots,
  WhyLong,
  WhyUnknownChar,
  MsgFileExists,
  MsgSaved,
  MsgEmptyRecord,
  MsgCancelAsk,
  MsgPlayNothing,
  MsgLimit,
  MsgNoChord,
  MsgRestWithChord,
  MsgRecordRefused,
  WhyUnreadable,
  WhyEmptyFile,
  WhyTooManyEvents,
  WhyNoPrefix,
  WhyLayout,
  WhyLayoutName,
  WhyLineCount,
  MsgLayoutRefused,
  MsgLanguageRefused,
  MsgNotSaved,
  MsgMessages,
  HelpChords,
  HelpList,
  Count
};

/// The language of a language file's name (German for any name it does not know).
UiLanguage uiLanguageOf(const std::string& languageFile);

/// The text in the language, with "%1", "%2", ... replaced by the arguments in order.
std::string uiText(UiLanguage language, Text id, std::initializer_list<std::string> args = {});

}  // namespace tastrello
