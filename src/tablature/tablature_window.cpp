// The tablature of the loaded record in the window object: the window that shows it, and the
// requests to save it as PDF or SVG.
#include "shell/main_window.h"
#include "shell/text.h"

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
      report(say(Text::MsgNotSaved, {e.text, e.bytes}));
    else
      inform(say(Text::MsgExported, {e.text, std::to_string(e.index)}));
  });
}

}  // namespace tastrello
