#include <gtest/gtest.h>

#include "shell/text.h"

using namespace tastrello;

TEST(LineReaderTest, AcceptsEveryLineEndAndKeepsEmptyLines) {
  EXPECT_EQ(splitLines("a\r\nb\nc\rd"), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_EQ(splitLines("a\r\n\r\nb\r\n"), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_EQ(splitLines(""), std::vector<std::string>{});
  EXPECT_EQ(splitLines("\xEF\xBB\xBFLANGUAGE:\r\n"), std::vector<std::string>{"LANGUAGE:"});
}

TEST(LineReaderTest, JoinWritesCrLfAfterEveryLine) {
  EXPECT_EQ(joinLines({"a", "", " "}), "a\r\n\r\n \r\n");
  EXPECT_EQ(splitLines(joinLines({"x", "", "y"})), (std::vector<std::string>{"x", "", "y"}));
}

TEST(TextTest, PositionsAreOneBasedAndClipAtTheEnd) {
  EXPECT_EQ(mid("abcdef", 4, 3), "def");
  EXPECT_EQ(mid("abcde", 4, 3), "de");
  EXPECT_EQ(mid("abc", 4, 3), "");
  EXPECT_EQ(right("c1", 3), "c1");
  EXPECT_EQ(right("c#1x", 3), "#1x");
}

TEST(TextTest, NumbersAllowBlanksButNothingElse) {
  EXPECT_EQ(parseInt16(" 60 "), 60);
  EXPECT_EQ(parseInt16("128"), 128);
  EXPECT_FALSE(parseInt16(""));
  EXPECT_FALSE(parseInt16("6x"));
  EXPECT_FALSE(parseInt16("99999"));
  EXPECT_EQ(leadingNumber(" 5/"), 5);
  EXPECT_EQ(leadingNumber("ab"), 0);
}

TEST(TextTest, NamesMatchWithoutLetterCase) {
  EXPECT_TRUE(sameNameIgnoringCase("Lang_ger.txt", "LANG_GER.TXT"));
  EXPECT_TRUE(
      sameNameIgnoringCase("\xDC"
                           "bung",
                           "\xFC"
                           "BUNG"));  // Übung
  EXPECT_FALSE(sameNameIgnoringCase("Lang_ger.txt", "Lang_ger.tx"));
  EXPECT_TRUE(matchesPattern("Notes_G-C-F.txt", "NOTES*.*"));
  EXPECT_TRUE(matchesPattern("records_x.TXT", "Record*"));
  EXPECT_FALSE(matchesPattern("Lessons_x.txt", "Record*"));
  EXPECT_FALSE(matchesPattern("Notes", "NOTES*.*"));
}

TEST(TextTest, Windows1252RoundTripsThroughUtf8) {
  const std::string bytes = "\xC4\xD6\xDC\xE4\xF6\xFC\xDF \x80 \xE9\xF1";
  EXPECT_EQ(cp1252ToUtf8(bytes), "ÄÖÜäöüß € éñ");
  EXPECT_EQ(utf8ToCp1252("ÄÖÜäöüß € éñ"), bytes);
  EXPECT_FALSE(utf8ToCp1252("日本"));
  EXPECT_FALSE(utf8ToCp1252("\xC3"));  // cut inside a character
}

TEST(DecimalTest, NumbersAreWrittenWithAPointAndReadWithAPointOrAComma) {
  EXPECT_EQ(decimalText(34.5, 1), "34.5");
  EXPECT_EQ(decimalText(34.46, 1), "34.5");
  EXPECT_EQ(decimalText(-0.05, 1), "-0.1");
  EXPECT_EQ(decimalText(0.04, 1), "0.0");
  EXPECT_EQ(decimalText(9.999, 2), "10.00");
  EXPECT_EQ(decimalText(7, 0), "7");
  EXPECT_EQ(parseDecimal("34.5"), 34.5);
  EXPECT_EQ(parseDecimal("34,5"), 34.5);  // as a German desktop's C library wrote it
  EXPECT_EQ(parseDecimal("-2"), -2.0);
  for (const char* bad : {"", ".", "1.2.3", "1,2,3", "nan", "inf", "1e5", " 1", "1 ", "+1",
                          "12345678901", "1.1234567", "--1", "1.", ",5"})
    EXPECT_FALSE(parseDecimal(bad)) << bad;
}
