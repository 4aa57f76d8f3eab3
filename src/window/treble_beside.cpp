// The treble's rows past the third in the window: with an instrument of four or five rows in
// force whose first three are the layout on the keyboard, the keyboard's buttons move to where
// that instrument has them and the buttons beside them show in their blocks, played with the
// mouse and a MIDI instrument and sounded by replay from the file beside the record.
#include "practice/practice_hands.h"
#include "window/form1.h"

namespace tastrello {

static_assert(kRowKeyCount >= 2 * (kMaxTrebleRows * kMaxRowButtons - kButtonsPerBlock),
              "every treble button beside the keyboard's an instrument file may give has its control");

void Form1::showTrebleBeside() {
  const Instrument* instrument = leftHand_.instrument();
  const bool beside = instrument && hasTrebleBeside(*instrument, buttonNotes());
  playBeside(trebleBeside_.use(beside ? instrument : nullptr));
  hideMarkers();  // they stood over the buttons' old places; replay's next step shows them anew
  for (int button = 0; button < kKeyCount; ++button) {
    Control& key = Keys[button];
    const auto rect = trebleBeside_.keyRect(button);
    key.visible = rect.has_value();
    if (!rect) continue;
    key.left = rect->left;
    key.top = rect->top;
    key.width = rect->width;
    key.height = rect->height;
  }
  for (int place = 0; place < kRowKeyCount; ++place) {
    Control& key = RowKeys[place];
    key.visible = place < trebleBeside_.placeCount();
    if (!key.visible) continue;
    const TwipRect& rect = trebleBeside_.rectOf(place);
    key.left = rect.left;
    key.top = rect.top;
    key.width = rect.width;
    key.height = rect.height;
    key.caption = trebleBeside_.caption(place);
    key.bold = true;
    key.fontSize = Keys[0].fontSize;
  }
}

void Form1::playBeside(const TrebleBeside::Change& change) {
  // Notes let go always go out: a note started before the sound was switched off ends.
  for (const int pitch : change.stopped) Midi_Out_Send(128, pitch, 0);
  for (const int pitch : change.started) {
    noteNumber = pitch;
    if (SoundOnOff.value == 1) playnote();
  }
  for (int place = 0; place < trebleBeside_.placeCount(); ++place)
    RowKeys[place].backColor = trebleBeside_.held(place)     ? keyLitColor
                               : trebleBeside_.marked(place) ? kMarkedBassColour
                                                             : keyIdleColor;
}

void Form1::RowKeys_Click(int place) {
  if (place < 0 || place >= trebleBeside_.placeCount()) return;
  tap();
  const ButtonAt at = trebleBeside_.at(place);
  playBass(leftHand_.turnBellows(at.push));  // as a click on the keyboard
  playBeside(trebleBeside_.click(place));
  if (!trebleBeside_.held(place) || !practice.hands.learnerPlaysTreble()) return;
  if (playingAlong())
    alongClick(besideButton(at));
  else if (practising())
    practiceClick(besideButton(at));
}

}  // namespace tastrello
