// The tablature of the loaded record in the window object: the window that shows it, the
// document and pages it shows, and the requests to save it as PDF or SVG.
#include <cmath>

#include "window/form1.h"
#include "shell/text.h"
#include "tablature/tab_svg.h"

namespace tastrello {

namespace {

std::string withoutExtension(const std::string& fileName) {
  std::string name = fileName.size() > 8 ? fileName.substr(8) : fileName;  // "Records_"
  if (name.size() > 4 && upper(right(name, 4)) == ".TXT") name.resize(name.size() - 4);
  return name;
}

}  // namespace

void Form1::TabView_Click() {
  TabSheet.visible = TabView.value == 1;
}

void Form1::TabSavePdf_Click() {
  saveTablature("pdf");
}

void Form1::TabSaveSvg_Click() {
  saveTablature("svg");
}

void Form1::saveTablature(const std::string& format) {
  Request request;
  request.kind = Request::Kind::SaveTablature;
  request.title = say(Text::TabCaption);
  request.name = withoutExtension(Label2.caption) + "." + format;
  request.format = upper(format);
  request.options = {format};
  ask(std::move(request), [this](const Event& e) {
    if (e.cancelled) return;
    if (e.index < 0)
      status().report(say(Text::MsgNotSaved, {e.text, e.bytes}));
    else
      status().inform(say(Text::MsgExported, {e.text, std::to_string(e.index)}));
  });
}

TabDocument Form1::tablatureDocument() {
  TabDocument document;
  document.title = withoutExtension(Label2.caption);
  document.tuning = tuningName(noteFileName);
  document.meter = loadedMeter();
  // The record's own tempo, or the one replay plays it at (a step of the grid a tick).
  document.tempo = document.meter.tempo > 0
                       ? document.meter.tempo
                       : static_cast<int>(std::lround(
                             60000.0 / (tempoInterval() * document.meter.stepsPerBeat)));
  document.buttonLines = loadedEvents();
  document.heading = say(Text::TabCaption);
  // The left hand under the staff: the bass letters of the record's bass.
  if (const Instrument* instrument = leftHand_.instrument())
    addHands(document, leftHand_.recordHands(), *instrument);
  return document;
}

std::vector<std::string> Form1::tablatureSvg(int marked) {
  const TabDocument document = tablatureDocument();
  const auto pages = layoutTablature(document);
  std::vector<std::string> svg;
  for (int page = 0; page < static_cast<int>(pages.size()); ++page)
    svg.push_back(tabPageSvg(document, pages, page, {}, marked));
  return svg;
}

}  // namespace tastrello
