// What the RtMidi input and output share: the API of a MIDI system and the names of its ports.
// Included only by the RtMidi wrappers.
#pragma once

#include <rtmidi/RtMidi.h>

#include <string>
#include <vector>

#include "platform/rtmidi_port.h"

namespace tastrello {

inline RtMidi::Api rtMidiApi(RtMidiRawOut::System system) {
  return system == RtMidiRawOut::System::Jack ? RtMidi::UNIX_JACK : RtMidi::LINUX_ALSA;
}

/// The port names an RtMidiIn or RtMidiOut sees (empty without a MIDI system).
template <typename Client>
std::vector<std::string> rtMidiPortNames(RtMidiRawOut::System system) {
  std::vector<std::string> names;
  try {
    Client client(rtMidiApi(system), "Tastrello");
    for (unsigned i = 0; i < client.getPortCount(); ++i) names.push_back(client.getPortName(i));
  } catch (const RtMidiError&) {
    // No MIDI system: no ports.
  }
  return names;
}

}  // namespace tastrello
