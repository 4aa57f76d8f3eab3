// Records and lessons as MusicXML and back. Export: a score in ordinary notation (real
// pitches, note values tied across bar lines, rests, the meter, the tempo, a last bar that
// ends where the record ends) with each note's button (row/number) as its fingering and the
// bellows as words at each turn. Import: the melody of a part of a .musicxml/.xml file or of
// the score a .mxl archive names, as a tune (exchange/tune.h) with its rhythm, meter, tempo and
// end; the program's own markings give rows and bellows back. Standard library only: parsing and inflating go through a MarkupReader.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "exchange/markup.h"
#include "exchange/tune.h"
#include "input/hands.h"
#include "records/meter.h"
#include "records/record_hands.h"
#include "shell/ui_texts.h"

namespace tastrello {

constexpr std::size_t kLargestScore = 32u << 20;     ///< a score inflated from a .mxl
constexpr std::size_t kMostScoreElements = 1000000;  ///< more is no tune

/// Whether the bytes are MusicXML rather than a MIDI file: XML, or a zip archive (.mxl).
bool looksLikeMusicXml(std::string_view bytes);

/// The score's root element (score-partwise); nothing, with `problem` worded in `language`,
/// for anything else.
std::optional<XmlElement> readMusicXml(std::string_view bytes, const MarkupReader& reader,
                                       std::string& problem,
                                       UiLanguage language = UiLanguage::English);

/// A part of a score that has notes.
struct ScorePart {
  std::string id;  ///< the part's id, or the ids of the parts of one instrument, blank-separated
  std::string label;  ///< "Part 2: Melody (120 notes)" in the language, Windows-1252
  int notes = 0;
};

/// The parts worth offering when the score has several with notes; empty when one. The parts
/// one instrument (one MIDI program) plays are one: a tune a notation program split into parts
/// comes back whole.
std::vector<ScorePart> scoreParts(const XmlElement& score, UiLanguage language);

/// The melody of the part `partId` (blank-separated ids: those parts together; "": the first
/// part with notes and the others of its instrument): the notes of the first
/// voice of its first staff, tied notes joined, with the first time signature and tempo, an
/// opening bar shorter than its time signature as the pickup, its end at the end of its last
/// bar, and the program's own bellows words and fingerings where the score has them.
Tune tuneOfMusicXml(const XmlElement& score, const std::string& partId);

struct MusicXmlSettings {
  std::string title;          ///< Windows-1252
  std::string tuning;         ///< "G-C-F"
  int program = 22;           ///< the instrument, 1..128
  int tempoWithoutMeter = 0;  ///< beats per minute when the meter names none (0: none)
  UiLanguage language = UiLanguage::German;  ///< of the bellows words
};

/// A MusicXML 4.0 score-partwise document (UTF-8) of the record's events.
std::string exportRecordToMusicXml(const std::vector<std::string>& buttonLines,
                                   const ButtonNotes& notes, const Meter& meter,
                                   const MusicXmlSettings& settings);

/// The same with the buttons beside the record: the left hand on a second staff (bass clef),
/// each bass button's notes for its step, and the bellows words also where a bass turns the
/// bellows in a silence of the treble (the import reads the second staff back as the tune's
/// bass notes); each treble button of the rows past the third a note of its step's chord, the
/// instrument giving its pitch, with its row and number as its fingering.
std::string exportRecordToMusicXml(const std::vector<std::string>& buttonLines,
                                   const ButtonNotes& notes, const Meter& meter,
                                   const MusicXmlSettings& settings, const RecordHands& hands,
                                   const Instrument& instrument);

}  // namespace tastrello
