// Tastrello: a practice program for the three-row diatonic button accordion.
#include <QApplication>
#include <cstdlib>

#include "platform/disk_files.h"
#include "platform/main_view.h"
#include "platform/markup_reader.h"
#include "platform/microphone.h"
#include "platform/midi_input.h"
#include "platform/output_switch.h"
#include "platform/working_folder.h"

int main(int argc, char** argv) {
  // Trying the JACK audio output must never start a JACK server of its own.
  setenv("JACK_NO_START_SERVER", "1", 0);
  QApplication app(argc, argv);
  QApplication::setApplicationName("Tastrello");
  QApplication::setOrganizationName("Tastrello");

  const tastrello::WorkingFolder folder = tastrello::chooseWorkingFolder();
  tastrello::DiskFiles files(folder.path);
  for (const char* dir : {"Data", "Records", "Notes"}) files.finishInterruptedSaves(dir);
  tastrello::FluidSynthPort::Options synthOptions;
  synthOptions.reedFont = tastrello::shippedReedFont().string();
  tastrello::OutputSwitch outputs(folder.path, synthOptions);
  tastrello::RtMidiPorts ports;
  const tastrello::PugiMarkupReader markup;
  tastrello::Microphone microphone;
  tastrello::Form1 form({&outputs, &files, &outputs, nullptr, &ports, &outputs, &markup, &microphone});
  files.speak([&form] { return tastrello::uiLanguageOf(form.textsLanguage); });
  outputs.speak([&form] { return tastrello::uiLanguageOf(form.textsLanguage); });
  form.Form_Load();
  if (folder.firstStart) form.welcome();
  if (folder.problem) form.status().report(folder.problem(tastrello::uiLanguageOf(form.textsLanguage)));

  tastrello::MainView view(form);
  view.useMicrophone(microphone);
  view.show();
  form.Form_Activate();
  view.settle();
  return app.exec();
}
