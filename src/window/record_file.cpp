// Record files in the window: the writer stores the record under edit, the reader fills it,
// the replay tables and the two views; the record under edit is a draft kept in the editor's
// lists.
#include "window/form1.h"
#include "shell/text.h"

namespace tastrello {

namespace {

std::string eventNumberText(int k) {
  return (k < 10 ? " " : "") + std::to_string(k) + ".  ";
}

}  // namespace

RecordDraft& Form1::draft() {
  draft_.bind({EditBox.items, EditBox.bellows, ShadowListe2.items, ShadowListe3.items,
               EditorTMP.caption, EditorTMP2.caption, EditorTMP3.caption});
  return draft_;
}

void Form1::clearRecordViews() {
  for (ListBox* view : {&NotenSchirm, &ZahlenSchirm}) {
    view->items.clear();
    view->bellows.clear();
    view->selected = -1;
  }
}

void Form1::clearEvents() {
  draft().clear();
  EditBox.selected = -1;
  leftHand_.takeRecordBass({});
}

bool Form1::writeRecordFile(const std::string& fileName) {
  const RecordContent record = draft().content(noteFileName);
  const std::string path = RecordList.folder + fileName;
  std::vector<FileChange> changes{{path, formatRecord(record)}};
  if (auto meter = meterSavedWith(fileName))
    changes.push_back({RecordList.folder + meterFileName(fileName), std::move(*meter)});
  if (auto bass = bassSavedWith(fileName)) changes.push_back(std::move(*bass));
  const FileProblem problem = services.files->replaceTogether(changes);
  if (!problem.ok()) {
    status().report(problem.path == path ? say(Text::MsgRecordNotSaved, {path, problem.why})
                                : say(Text::MsgRecordMeterNotSaved, {problem.path, problem.why}));
    return false;
  }
  draft().importedMeter.reset();
  return true;
}

std::optional<std::string> Form1::meterSavedWith(const std::string& fileName) {
  const RecordDraft& record = draft();
  if (record.importedMeter) return formatMeter(*record.importedMeter);
  const std::string& recordingSource = record.source();
  if (!recordingSource.empty()) {
    // A record continued: under its own name its meter stays, under another it goes along.
    if (sameNameIgnoringCase(fileName, recordingSource)) return std::nullopt;
    if (auto carried = services.files->read(RecordList.folder + meterFileName(recordingSource)))
      return carried;
  }
  if (services.files->read(RecordList.folder + meterFileName(fileName))) return formatMeter({});
  return std::nullopt;
}

Meter Form1::readMeterBeside(const std::string& recordFile) {
  const std::string name = meterFileName(recordFile);
  const std::string path = RecordList.folder + name;
  const auto bytes = services.files->read(path);
  std::string problem = bytes ? std::string() : services.files->readProblem(path);
  const auto meter = bytes ? parseMeter(*bytes, problem) : std::nullopt;
  if (!problem.empty())
    status().report(say(meter ? Text::MsgMeterLineIgnored : Text::MsgMeterRefused, {name, problem}));
  return meter.value_or(Meter{});
}

std::optional<RecordContent> Form1::readRecordContent(const std::string& path,
                                                      std::string& problem) {
  const auto bytes = services.files->read(path);
  if (!bytes) {
    problem = say(Text::WhyUnreadable);
    return std::nullopt;
  }
  RecordProblem why;
  auto record = parseRecord(*bytes, why);
  if (why.kind == RecordProblem::Kind::Empty) problem = say(Text::WhyEmptyFile);
  if (why.kind == RecordProblem::Kind::TooManyEvents)
    problem = say(Text::WhyTooManyEvents, {std::to_string(why.line)});
  return record;
}

void Form1::readRecordFile(const RecordContent& record) {
  noteFileName = record.layoutName;
  // The tables hold events 1 to kMaxEvents; the reader refuses longer files, and this bound
  // keeps the writes inside the tables whatever a reader lets through.
  const int count = std::min<int>(static_cast<int>(record.buttonLines.size()), kMaxEvents);
  eventButtonLines.fill({});
  eventNameLines.fill({});
  for (int i = 0; i < count; ++i) {
    const int k = i + 1;
    const RecordEvent event = eventFromLines(record.buttonLines[i], record.nameLines[i]);
    draft().insert(draft().eventCount(), event);
    ZahlenSchirm.items.push_back(eventNumberText(k));
    NotenSchirm.items.push_back(event.display);
    NotenSchirm.bellows.push_back(bellowsOf(event.buttonLine));
    eventButtonLines.at(k) = event.buttonLine;
    eventNameLines.at(k) = isRestMarker(event.buttonLine) ? "-BREAK-" : event.nameLine;
  }
  replayEnd = count + 1;
}

void Form1::applyRecordKind() {
  if (RecordLession.value == 1) {
    RecordList.pattern = "Lesson*";
    refreshFileList(RecordList);
    Label3.caption = Label25.caption;
  } else {
    RecordList.pattern = "Record*";
    refreshFileList(RecordList);
    Label3.caption = Label25.tag;
  }
}

}  // namespace tastrello
