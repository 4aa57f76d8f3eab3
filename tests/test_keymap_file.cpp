// The key map file against conflicting, damaged and unusable files: one binding per key, the
// one that wins and why said, and a map that cannot be used said and replaced by the shipped.
#include "test_support.h"

using namespace tastrello;
using namespace tastrello::testing;

namespace {

KeyMap parsed(const std::vector<std::string>& lines, std::vector<KeyMapProblem>& problems) {
  return parseKeyMap(joinLines(lines), problems);
}

std::string roleText(Text role) {
  return uiText(UiLanguage::English, role);
}

}  // namespace

struct RoleKeyCase {
  const char* line;
  const char* key;
  Text role;
};

class KeyOfARoleTest : public ::testing::TestWithParam<RoleKeyCase> {};

TEST_P(KeyOfARoleTest, ALineGivingARolesKeyToAButtonIsSkippedAndTheRoleKeepsIt) {
  std::vector<KeyMapProblem> problems;
  const KeyMap map = parsed({"A=0", GetParam().line}, problems);
  EXPECT_EQ(map.positions, (std::map<std::string, int>{{"A", 0}}));
  EXPECT_EQ(map.bellows, "Space");
  EXPECT_EQ(map.commit, "Return");
  EXPECT_EQ(map.restPlay, "Z");
  EXPECT_EQ(map.restMute, "X");
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0].line, 2);
  EXPECT_EQ(problems[0].reason, uiText(UiLanguage::English, Text::KeyTaken,
                                       {GetParam().key, roleText(GetParam().role)}));
}

INSTANTIATE_TEST_SUITE_P(
    EachRole, KeyOfARoleTest,
    ::testing::Values(RoleKeyCase{"Space=3", "Space", Text::RoleBellows},
                      RoleKeyCase{"Z=3", "Z", Text::RoleRestPlay},
                      RoleKeyCase{"X=6", "X", Text::RoleRestMute},
                      RoleKeyCase{"Return=9", "Return", Text::RoleCommit}));

TEST(KeyMapRolesTest, ARoleSetTwiceKeepsItsFirstKey) {
  std::vector<KeyMapProblem> problems;
  const KeyMap map = parsed({"BELLOWS=Shift", "A=0", "BELLOWS=Tab"}, problems);
  EXPECT_EQ(map.bellows, "Shift");
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0].line, 3);
  EXPECT_EQ(problems[0].reason,
            uiText(UiLanguage::English, Text::KeyRoleTwice, {"BELLOWS", "1"}));
}

TEST(KeyMapRolesTest, RolesTakeTheirKeysInOrderAndARoleLeftWithoutOneIsSaid) {
  std::vector<KeyMapProblem> problems;
  // The bellows moved onto the rest's default key: the rest has no key now.
  KeyMap map = parsed({"A=0", "BELLOWS=Z"}, problems);
  EXPECT_EQ(map.bellows, "Z");
  EXPECT_EQ(map.restPlay, "");
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0].line, 0);
  EXPECT_EQ(problems[0].reason,
            uiText(UiLanguage::English, Text::KeyRoleLost,
                   {roleText(Text::RoleRestPlay), "Z", roleText(Text::RoleBellows)}));

  // The commit asked onto the bellows key: its line is skipped and it keeps Return.
  problems.clear();
  map = parsed({"A=0", "COMMIT=Space"}, problems);
  EXPECT_EQ(map.commit, "Return");
  EXPECT_EQ(map.bellows, "Space");
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0].line, 2);

  // Two roles may swap their keys.
  problems.clear();
  map = parsed({"A=0", "REST-PLAY=X", "REST-MUTE=Z"}, problems);
  EXPECT_EQ(map.restPlay, "X");
  EXPECT_EQ(map.restMute, "Z");
  EXPECT_TRUE(problems.empty());

  // A key freed by moving its role may play a button, wherever the lines stand.
  problems.clear();
  map = parsed({"Z=3", "REST-PLAY=Tab"}, problems);
  EXPECT_EQ(map.positions.at("Z"), 3);
  EXPECT_EQ(map.restPlay, "Tab");
  EXPECT_TRUE(problems.empty());
}

TEST(KeyMapRolesTest, NoKeyEverHasTwoBindingsInAnyMap) {
  // Every role line and button line over a small set of keys, in many orders.
  const std::vector<std::string> keys{"Space", "Return", "Z", "X", "Tab", "A"};
  const std::vector<std::string> roles{"BELLOWS", "COMMIT", "REST-PLAY", "REST-MUTE"};
  for (unsigned seed = 0; seed < 500; ++seed) {
    std::vector<std::string> lines;
    unsigned r = seed * 2654435761u;
    for (int i = 0; i < 5; ++i, r = r * 1103515245u + 12345u) {
      const std::string& key = keys[(r >> 8) % keys.size()];
      lines.push_back((r >> 20) % 2 ? roles[(r >> 4) % roles.size()] + "=" + key
                                    : key + "=" + std::to_string((r >> 12) % 34));
    }
    std::vector<KeyMapProblem> problems;
    const KeyMap map = parsed(lines, problems);
    std::map<std::string, int> uses;
    for (const auto& [key, position] : map.positions) ++uses[key];
    for (const std::string* role : {&map.bellows, &map.commit, &map.restPlay, &map.restMute})
      if (!role->empty()) ++uses[*role];
    for (const auto& [key, count] : uses)
      EXPECT_EQ(count, 1) << key << " in " << joinLines(lines);
  }
}

// ---- The key map file in the window object

class KeyMapFileTest : public FormTest {
 protected:
  const std::string path = "Data/Keymap.txt";
  void restart() {
    form = Form1({&port, &files, nullptr, &clock});
    start();
  }
  bool toldAbout(const std::string& text) const {
    return form.StatusLine.toolTip.find(text) != std::string::npos;
  }
};

TEST_F(KeyMapFileTest, AConflictIsSaidAndTheRecordingKeyStillAddsItsRest) {
  files.files[path] += "Z=3\r\n";
  restart();
  EXPECT_TRUE(toldAbout(form.say(Text::KeyTaken, {"Z", form.say(Text::RoleRestPlay)})))
      << form.StatusLine.toolTip;
  form.Record_Click();
  form.handKeyDown("Z");
  form.handKeyUp("Z");
  EXPECT_EQ(form.EditBox.items.size(), 1u) << "Z added no rest";
  EXPECT_TRUE(port.notes().empty()) << "Z sounded a button";
}

TEST_F(KeyMapFileTest, AMapThatCannotBeUsedIsSaidAndTheShippedOneIsUsed) {
  struct Case {
    std::string bytes;
    std::string unreadable;  // why the store cannot read it ("" when it can)
    std::string said;
  };
  const std::vector<Case> cases{
      {"", "it is a folder", form.say(Text::MsgKeyMapUnread, {path, "it is a folder"})},
      {std::string(kLargestKeyMap + 1, '#'), "",
       form.say(Text::MsgKeyMapUnread, {path, form.say(Text::WhyTooLarge, {"256 KB"})})},
      {"", "", form.say(Text::MsgKeyMapNoKeys, {path})},
      {"# only a comment\r\nBELLOWS=Tab\r\n", "", form.say(Text::MsgKeyMapNoKeys, {path})},
  };
  for (const Case& c : cases) {
    files.files[path] = c.bytes;
    files.unreadable.clear();
    if (!c.unreadable.empty()) files.unreadable[path] = c.unreadable;
    restart();
    EXPECT_TRUE(toldAbout(c.said)) << c.said << "\n" << form.StatusLine.toolTip;
    EXPECT_EQ(form.hands.keyMap, defaultKeyMap());
  }
  // A folder that has no key map (as one of the first version) is no problem.
  files.files.erase(path);
  files.unreadable.clear();
  restart();
  EXPECT_EQ(form.status().problemCount(), 0) << form.StatusLine.toolTip;
  EXPECT_EQ(form.hands.keyMap, defaultKeyMap());
}

TEST_F(KeyMapFileTest, AMapOfManyBadLinesCostsAFewReportsAndItsGoodLinesCount) {
  std::string bytes = "A=0\r\n";
  for (int i = 0; i < 3000; ++i) bytes += "Nonsense" + std::to_string(i) + "=1\r\n";
  files.files[path] = bytes;
  restart();
  EXPECT_EQ(form.status().problemCount(), int(StatusReports::kReportsPerFile) + 1);
  EXPECT_EQ(form.StatusLine.caption,
            form.say(Text::MsgMoreProblems,
                     {path, std::to_string(3000 - StatusReports::kReportsPerFile)}));
  EXPECT_EQ(form.hands.keyMap.positions, (std::map<std::string, int>{{"A", 0}}));
}

// ---- The manual page says what the files hold

TEST(ManualPageTest, TheKeyMapTheHistoryAndTheSettingsAreDescribedAsTheyAreRead) {
  std::ifstream in(std::string(TASTRELLO_SOURCE) + "/../packaging/tastrello.1");
  const std::string page((std::istreambuf_iterator<char>(in)), {});
  ASSERT_FALSE(page.empty());
  for (const char* word : {"BELLOWS=", "COMMIT=", "REST-PLAY=", "REST-MUTE=", "Practice_", "PASS;",
                           "RAMP;", "seconds=", "AUDIO-BUFFER:", "BELLOWS-CC:", "MIDI-OUT:", "LOG:"})
    EXPECT_NE(page.find(word), std::string::npos) << word;
  // Every key name the page lists is one the key map's reader takes.
  const auto from = page.find("(A to Z, 0 to 9, ");
  ASSERT_NE(from, std::string::npos);
  const auto to = page.find(')', from);
  std::string names = page.substr(from + 17, to - from - 17);
  int listed = 0;
  for (std::size_t at = 0; at < names.size();) {
    std::size_t end = names.find_first_of(",\n", at);
    if (end == std::string::npos) end = names.size();
    std::string name = names.substr(at, end - at);
    name.erase(0, name.find_first_not_of(' '));
    if (!name.empty()) {
      EXPECT_TRUE(isKnownKeyName(name)) << name;
      ++listed;
    }
    at = end + 1;
  }
  EXPECT_EQ(listed, 20);
}
