// Sound out: the program's one way to the MIDI output. Notes of the buttons on channel 1 (a
// program change and a note-on, never changing the instrument of notes already sounding), the
// left hand's basses and chords on channels 2 and 3, the metronome's clicks on the General MIDI
// percussion channel, and the device reset (close and open again), which silences every
// sounding note. Every message goes out at the moment in
// force: at once, or at a replay step's moment for an output that places messages in time.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "shell/services.h"

namespace tastrello {

/// Own error code of the MIDI layer, beside the ones the port reports: a data byte outside
/// 0..127 was not sent.
constexpr int kErrDataByte = 9001;

class SoundOut {
 public:
  /// Hears the code of every call that failed (see MidiPort, and kErrDataByte).
  using ErrorSink = std::function<void(int code)>;

  /// Bound to nothing: `bind` gives it a port before it is used.
  SoundOut() = default;
  /// `handle` is the device's handle, kept by the caller (0 while no device is open).
  SoundOut(MidiPort& port, std::uint32_t& handle, ErrorSink onError) {
    bind(&port, &handle, std::move(onError));
  }
  /// Works from now on with this port, handle and sink (the window's own, after a copy of the
  /// window); what it keeps of its own (the moment, the click sounding) stays.
  void bind(MidiPort* port, std::uint32_t* handle, ErrorSink onError) {
    port_ = port;
    handle_ = handle;
    onError_ = std::move(onError);
  }

  /// Opens the output for `deviceId` (-1: the output chosen), closing the one open first.
  /// True when a device is open after it.
  bool open(int deviceId);
  /// Closes the device, at the moment in force; every note sounding on it stops then.
  void close();
  /// Closes and opens the default output: nothing sounds after it, new notes can start at once.
  void reset();
  /// One short message; a data byte outside 0..127 is never sent.
  void send(int status, int data1, int data2);
  /// A note of the keyboard: the instrument (1..128) as a program change, then the note-on.
  void note(int instrument, int pitch);
  /// Lets a note of the keyboard go (a key or MIDI note released).
  void noteOff(int pitch);
  /// A note of the left hand: a bass on channel 2 (the Helikon reed), a chord's note on
  /// channel 3 (the chord reeds), both from the reed font's own bank.
  void bassNote(bool chord, int pitch);
  void bassNoteOff(bool chord, int pitch);
  /// A click of the count-in, the metronome or the tap calibration; the click before is let go
  /// first.
  void click(bool accent);
  /// Forgets the click sounding (the device reset has ended it).
  void forgetClick() { clickNote_ = 0; }

  /// Messages sent from now on sound at `at` (kAtOnce: as soon as possible).
  void soundAt(SoundTime at) { at_ = at; }
  SoundTime moment() const { return at_; }
  /// How long before their moment messages may be handed over (0: the output plays at once).
  double lead() { return port_->leadSeconds(); }

  /// The port's text for an error code, at most 128 characters.
  std::string errorText(int code);
  /// The data byte last refused (kErrDataByte).
  int refusedByte() const { return refusedByte_; }

  /// The packed word of a short message: data2 x 65536 + data1 x 256 + status.
  static constexpr std::int32_t pack(int data2, int data1, int status) {
    return data2 * 65536 + data1 * 256 + status;
  }

 private:
  MidiPort* port_ = nullptr;
  std::uint32_t* handle_ = nullptr;
  ErrorSink onError_;
  SoundTime at_ = kAtOnce;
  int clickNote_ = 0;  ///< the click sounding (0: none)
  bool leftHandReady_ = false;  ///< the left hand's channels have their bank and program
  int refusedByte_ = 0;
};

}  // namespace tastrello
