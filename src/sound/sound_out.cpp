#include "sound/sound_out.h"

#include "sound/reed_presets.h"

namespace tastrello {

namespace {

constexpr int kProgramChange = 0xC0;  // channel 1
constexpr int kNoteOn = 0x90;
constexpr int kNoteOff = 0x80;
constexpr int kVelocity = 99;
constexpr int kPercussionNoteOn = 0x99;  // channel 10: General MIDI percussion
constexpr int kPercussionNoteOff = 0x89;
constexpr int kAccentClick = 76;  // high wood block
constexpr int kClick = 77;        // low wood block
constexpr int kControlChange = 0xB0;
constexpr int kBankSelect = 0;
// The left hand's channels: 2 for the basses, 3 for the chords (counted from 1).
constexpr int kBassChannel = 1;
constexpr int kChordChannel = 2;

}  // namespace

bool SoundOut::open(int deviceId) {
  close();
  leftHandReady_ = false;
  const int result = port_->open(deviceId, *handle_);
  if (result != 0) {
    *handle_ = 0;
    onError_(result);
  }
  return *handle_ != 0;
}

void SoundOut::close() {
  if (*handle_ == 0) return;
  const int result = port_->close(*handle_, at_);
  if (result != 0) onError_(result);
  *handle_ = 0;
  leftHandReady_ = false;
}

void SoundOut::reset() {
  close();
  open(-1);
}

void SoundOut::send(int status, int data1, int data2) {
  // A data byte outside 0..127 would be read as another message by the device: never send it.
  for (int byte : {data1, data2}) {
    if (byte < 0 || byte > 127) {
      refusedByte_ = byte;
      onError_(kErrDataByte);
      return;
    }
  }
  const auto word = static_cast<std::uint32_t>(pack(data2, data1, status));
  const int result = port_->send(*handle_, word, at_);
  if (result != 0) onError_(result);
}

void SoundOut::note(int instrument, int pitch) {
  send(kProgramChange, instrument - 1, 0);
  send(kNoteOn, pitch, kVelocity);
}

void SoundOut::noteOff(int pitch) {
  send(kNoteOff, pitch, 0);
}

void SoundOut::bassNote(bool chord, int pitch) {
  // The bank and program of both channels go out before the first note on a device opened
  // afresh (a reset or another output forgets them); they never change on these channels.
  if (!leftHandReady_) {
    for (const int channel : {kBassChannel, kChordChannel}) {
      send(kControlChange | channel, kBankSelect, kReedBassBank);
      send(kProgramChange | channel, channel == kChordChannel ? kBassChordProgram : kHelikonProgram, 0);
    }
    leftHandReady_ = true;
  }
  send(kNoteOn | (chord ? kChordChannel : kBassChannel), pitch, kVelocity);
}

void SoundOut::bassNoteOff(bool chord, int pitch) {
  send(kNoteOff | (chord ? kChordChannel : kBassChannel), pitch, 0);
}

void SoundOut::click(bool accent) {
  // The click before is let go first: a percussion note needs no note-off to end, but some
  // instruments hold it until one comes.
  if (clickNote_) send(kPercussionNoteOff, clickNote_, 0);
  clickNote_ = accent ? kAccentClick : kClick;
  send(kPercussionNoteOn, clickNote_, accent ? 127 : 90);
}

std::string SoundOut::errorText(int code) {
  return port_->errorText(code).substr(0, 128);
}

}  // namespace tastrello
