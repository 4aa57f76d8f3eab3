#include "exchange/midi_file.h"

#include <algorithm>
#include <deque>
#include <map>
#include <tuple>

#include "shell/ui_texts.h"

namespace tastrello {

namespace {

constexpr std::size_t kMaxNotes = 200000;  // more is no tune; it only costs memory
constexpr std::size_t kMaxControls = 200000;
constexpr std::size_t kMaxMetaEvents = 4096;  // tempo and meter changes

/// Reads bytes from one chunk, never past its end.
class Cursor {
 public:
  explicit Cursor(std::string_view bytes) : bytes_(bytes) {}
  bool done() const { return at_ >= bytes_.size(); }
  std::size_t left() const { return bytes_.size() - at_; }
  std::optional<int> byte() {
    if (done()) return std::nullopt;
    return static_cast<unsigned char>(bytes_[at_++]);
  }
  std::optional<int> peek() const {
    if (done()) return std::nullopt;
    return static_cast<unsigned char>(bytes_[at_]);
  }
  /// A variable-length quantity: at most four bytes, as the format allows.
  std::optional<long long> vlq() {
    long long value = 0;
    for (int i = 0; i < 4; ++i) {
      const auto b = byte();
      if (!b) return std::nullopt;
      value = (value << 7) | (*b & 0x7F);
      if (!(*b & 0x80)) return value;
    }
    return std::nullopt;
  }
  std::optional<std::string_view> take(long long n) {
    if (n < 0 || static_cast<unsigned long long>(n) > left()) return std::nullopt;
    const auto part = bytes_.substr(at_, static_cast<std::size_t>(n));
    at_ += static_cast<std::size_t>(n);
    return part;
  }

 private:
  std::string_view bytes_;
  std::size_t at_ = 0;
};

std::uint32_t bigEndian(std::string_view b, std::size_t at, int n) {
  std::uint32_t v = 0;
  for (int i = 0; i < n; ++i) v = (v << 8) | static_cast<unsigned char>(b[at + std::size_t(i)]);
  return v;
}

/// Notes of one track: note-ons wait for their note-offs (first on, first off per key).
struct TrackReader {
  int track;
  std::vector<MidiNote>& notes;
  std::map<std::pair<int, int>, std::deque<std::size_t>> sounding;  // (channel, pitch) -> notes

  void on(long long tick, int channel, int pitch, int velocity) {
    if (notes.size() >= kMaxNotes) return;
    sounding[{channel, pitch}].push_back(notes.size());
    notes.push_back({tick, -1, track, channel, pitch, velocity});
  }
  void off(long long tick, int channel, int pitch) {
    auto it = sounding.find({channel, pitch});
    if (it == sounding.end() || it->second.empty()) return;  // an off without an on
    MidiNote& note = notes[it->second.front()];
    note.length = tick - note.tick;
    it->second.pop_front();
  }
  /// Notes still sounding at the end of the track end there.
  int finish(long long tick) {
    int open = 0;
    for (auto& [key, waiting] : sounding)
      for (std::size_t i : waiting) {
        notes[i].length = tick - notes[i].tick;
        ++open;
      }
    return open;
  }
};

/// What a meta event tells: a track's name, a tempo, a time signature.
void takeMeta(int type, std::string_view data, long long tick, int track, MidiFileContent& out) {
  if (type == 0x03 && out.names[std::size_t(track)].empty()) out.names[std::size_t(track)] = std::string(data);
  if (type == 0x51 && data.size() == 3) {
    if (out.notes.empty()) out.firstTempo = bigEndian(data, 0, 3);
    if (out.tempos.size() < kMaxMetaEvents && bigEndian(data, 0, 3) > 0) out.tempos.push_back({tick, bigEndian(data, 0, 3)});
  }
  if (type == 0x58 && data.size() >= 3 && out.timeSignatures.size() < kMaxMetaEvents) {
    const auto byteAt = [&](std::size_t i) { return static_cast<unsigned char>(data[i]); };
    out.timeSignatures.push_back({tick, byteAt(0), byteAt(1), byteAt(2)});
  }
}

/// A channel message of `status` at `tick`: a controller, a program, a note on or off.
bool takeMessage(Cursor& c, int status, long long tick, int track, MidiFileContent& out, TrackReader& reader) {
  const int kind = status & 0xF0;
  const int channel = status & 0x0F;
  const auto d1 = c.byte();
  const bool twoBytes = kind != 0xC0 && kind != 0xD0;
  const auto d2 = twoBytes ? c.byte() : std::optional<int>(0);
  if (!d1 || !d2 || (*d1 & 0x80) || (*d2 & 0x80)) return false;
  if (kind == 0xB0 && out.controls.size() < kMaxControls) out.controls.push_back({tick, track, channel, *d1, *d2});
  if (kind == 0xC0 && out.programs.size() < kMaxControls) out.programs.push_back({tick, track, channel, *d1});
  if (kind == 0x90 && *d2 > 0)
    reader.on(tick, channel, *d1, *d2);
  else if (kind == 0x80 || kind == 0x90)
    reader.off(tick, channel, *d1);
  return true;
}

/// Reads one event after its delta time; what it is, or why the track stops early.
enum class TrackEvent : std::uint8_t { Taken, End, Broken };

TrackEvent readEvent(Cursor& c, long long tick, int track, int& status, MidiFileContent& out, TrackReader& reader,
                     Text& why, std::optional<long long>& end) {
  const auto first = c.peek();
  if (!first) {
    why = Text::WhyMidiEventCut;
    return TrackEvent::Broken;
  }
  if (*first & 0x80) {
    c.byte();
    if (*first == 0xFF) {
      const auto type = c.byte();
      const auto length = c.vlq();
      const auto data = length ? c.take(*length) : std::nullopt;
      if (!type || !data) {
        why = Text::WhyMidiMetaLong;
        return TrackEvent::Broken;
      }
      if (*type == 0x2F) {
        end = tick;
        return TrackEvent::End;
      }
      takeMeta(*type, *data, tick, track, out);
      return TrackEvent::Taken;  // meta events leave the running status as it was
    }
    if (*first == 0xF0 || *first == 0xF7) {
      const auto length = c.vlq();
      if (!length || !c.take(*length)) {
        why = Text::WhyMidiSysexLong;
        return TrackEvent::Broken;
      }
      status = 0;  // system messages end a running status
      return TrackEvent::Taken;
    }
    status = *first;
  } else if (status == 0) {
    why = Text::WhyMidiNoStatus;
    return TrackEvent::Broken;
  }
  if (takeMessage(c, status, tick, track, out, reader)) return TrackEvent::Taken;
  why = Text::WhyMidiMessageCut;
  return TrackEvent::Broken;
}

/// Reads one track chunk's events; false with `why` when it stops early. `end` is the tick of
/// its end of track, when it has one.
bool readTrack(std::string_view chunk, int track, MidiFileContent& out, Text& why,
               std::optional<long long>& end, UiLanguage language) {
  Cursor c(chunk);
  TrackReader reader{track, out.notes, {}};
  long long tick = 0;
  int status = 0;  // for running status
  bool ok = true;
  while (!c.done()) {
    const auto delta = c.vlq();
    if (!delta) {
      why = Text::WhyMidiEndlessTime;
      ok = false;
      break;
    }
    tick += *delta;
    const TrackEvent event = readEvent(c, tick, track, status, out, reader, why, end);
    if (event == TrackEvent::End) break;
    if (event == TrackEvent::Broken) {
      ok = false;
      break;
    }
  }
  if (const int open = reader.finish(tick))
    out.warnings.push_back(uiText(language, Text::MidiNotesNeverEnded,
                                  {std::to_string(track + 1), std::to_string(open)}));
  return ok;
}

void putVlq(std::string& out, long long value) {
  char buffer[5];
  int n = 0;
  buffer[n++] = static_cast<char>(value & 0x7F);
  while ((value >>= 7) > 0 && n < 4) buffer[n++] = static_cast<char>((value & 0x7F) | 0x80);
  while (n > 0) out += buffer[--n];
}

void putBigEndian(std::string& out, std::uint32_t value, int n) {
  for (int i = n - 1; i >= 0; --i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::string trackChunk(std::vector<MidiEvent> events, long long end) {
  std::stable_sort(events.begin(), events.end(),
                   [](const MidiEvent& a, const MidiEvent& b) { return a.tick < b.tick; });
  std::string data;
  long long tick = 0;
  for (const auto& e : events) {
    if (e.bytes.empty()) continue;
    putVlq(data, std::max(0LL, e.tick - tick));
    tick = std::max(tick, e.tick);
    if (e.bytes[0] == 0xFF && e.bytes.size() >= 2) {
      data += '\xFF';
      data += static_cast<char>(e.bytes[1]);
      putVlq(data, static_cast<long long>(e.bytes.size() - 2));
      data.append(e.bytes.begin() + 2, e.bytes.end());
    } else {
      data.append(e.bytes.begin(), e.bytes.end());
    }
  }
  putVlq(data, std::max(0LL, end - tick));
  data += std::string("\xFF\x2F\x00", 3);
  std::string chunk = "MTrk";
  putBigEndian(chunk, static_cast<std::uint32_t>(data.size()), 4);
  return chunk + data;
}

}  // namespace

std::optional<MidiFileContent> readMidiFile(std::string_view bytes, std::string& problem,
                                            UiLanguage language) {
  const auto say = [language](Text text, std::initializer_list<std::string> args = {}) {
    return uiText(language, text, args);
  };
  if (bytes.size() < 14 || bytes.substr(0, 4) != "MThd") {
    problem = say(Text::WhyNotMidi);
    return std::nullopt;
  }
  const std::uint32_t headerLength = bigEndian(bytes, 4, 4);
  if (headerLength < 6 || headerLength > bytes.size() - 8) {
    problem = say(Text::WhyMidiHeader);
    return std::nullopt;
  }
  MidiFileContent out;
  out.format = static_cast<int>(bigEndian(bytes, 8, 2));
  const auto declaredTracks = bigEndian(bytes, 10, 2);
  const auto division = bigEndian(bytes, 12, 2);
  if (out.format > 1) {
    problem = say(Text::WhyMidiFormat, {std::to_string(out.format)});
    return std::nullopt;
  }
  if (division == 0) {
    problem = say(Text::WhyMidiNoTimeUnit);
    return std::nullopt;
  }
  if (division & 0x8000) {
    problem = say(Text::WhyMidiSmpte);
    return std::nullopt;
  }
  out.division = static_cast<int>(division);
  std::size_t at = 8 + headerLength;
  bool everyTrackEnds = true;
  while (at + 8 <= bytes.size() && out.tracks < 256) {
    const std::string_view type = bytes.substr(at, 4);
    std::uint64_t length = bigEndian(bytes, at + 4, 4);
    at += 8;
    if (length > bytes.size() - at) {
      out.warnings.push_back(say(Text::MidiChunkShort,
                                 {std::to_string(length), std::to_string(bytes.size() - at)}));
      length = bytes.size() - at;
    }
    if (type == "MTrk") {
      out.names.emplace_back();
      Text why{};
      std::optional<long long> end;
      if (!readTrack(bytes.substr(at, std::size_t(length)), out.tracks, out, why, end, language))
        out.warnings.push_back(
            say(Text::MidiTrackEndsEarly, {std::to_string(out.tracks + 1), say(why)}));
      everyTrackEnds = everyTrackEnds && end;
      out.trackEnds.push_back(end);
      if (end) out.end = std::max(out.end.value_or(0), *end);
      ++out.tracks;
    }
    at += std::size_t(length);
  }
  if (out.tracks == 0) {
    problem = say(Text::WhyMidiNoTrack);
    return std::nullopt;
  }
  if (!everyTrackEnds) out.end.reset();
  if (declaredTracks != static_cast<std::uint32_t>(out.tracks))
    out.warnings.push_back(say(Text::MidiTrackCount,
                               {std::to_string(declaredTracks), std::to_string(out.tracks)}));
  std::stable_sort(out.notes.begin(), out.notes.end(), [](const MidiNote& a, const MidiNote& b) {
    return std::tie(a.tick, a.track, a.pitch) < std::tie(b.tick, b.track, b.pitch);
  });
  const auto byTick = [](const auto& a, const auto& b) { return a.tick < b.tick; };
  std::stable_sort(out.controls.begin(), out.controls.end(), byTick);
  std::stable_sort(out.timeSignatures.begin(), out.timeSignatures.end(), byTick);
  std::stable_sort(out.tempos.begin(), out.tempos.end(), byTick);
  return out;
}

MidiEvent tempoEvent(long long tick, long long micros) {
  const auto t = static_cast<std::uint32_t>(std::clamp(micros, 1LL, 0xFFFFFFLL));
  return {tick, {0xFF, 0x51, std::uint8_t(t >> 16), std::uint8_t(t >> 8), std::uint8_t(t)}};
}

MidiEvent timeSignatureEvent(long long tick, int numerator, int denominatorPower,
                             int clocksPerClick) {
  return {tick,
          {0xFF, 0x58, std::uint8_t(std::clamp(numerator, 1, 255)),
           std::uint8_t(std::clamp(denominatorPower, 0, 7)),
           std::uint8_t(std::clamp(clocksPerClick, 1, 255)), 8}};
}

std::string writeMidiFile(int division, long long tempo, const std::string& name,
                          const std::vector<std::vector<MidiEvent>>& tracks) {
  return writeMidiFile(division, {tempoEvent(0, tempo)}, name, tracks);
}

std::string writeMidiFile(int division, const std::vector<MidiEvent>& conductor,
                          const std::string& name,
                          const std::vector<std::vector<MidiEvent>>& tracks, long long end) {
  std::string out = "MThd";
  putBigEndian(out, 6, 4);
  putBigEndian(out, 1, 2);
  putBigEndian(out, static_cast<std::uint32_t>(tracks.size() + 1), 2);
  putBigEndian(out, static_cast<std::uint32_t>(division), 2);
  std::vector<MidiEvent> first;
  MidiEvent title{0, {0xFF, 0x03}};
  title.bytes.insert(title.bytes.end(), name.begin(), name.end());
  first.push_back(title);
  first.insert(first.end(), conductor.begin(), conductor.end());
  out += trackChunk(first, end);
  for (const auto& track : tracks) out += trackChunk(track, end);
  return out;
}

}  // namespace tastrello
