#include "platform/ProfileText.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

using vq::ProfileText;

namespace {

// A file as a person edits it: odd spacing, tabs, both comment styles, blank
// lines, keys and sections the driver does not know, a stray line, duplicates.
const std::string HandEdited =
    "; written by hand\n"
    "stray=before any section\n"
    "\n"
    "[general]\n"
    "  loglevel =  3 \n"
    "\tDebugViewOutput\t=\t2\n"
    "# keep this\n"
    "Unknown = keep me\n"
    "not a key line\n"
    "LogLevel=4\n"
    "; about the camera below\n"
    "\n"
    "[ Vq-Color (1234) ]   \n"
    "Brightness=12\n"
    "[Other]\n"
    "X=1\n"
    "[General]\n"
    "Late=1\n";

std::string Value(const ProfileText& text, const std::string& section, const std::string& key) {
  return text.Find(section, key).value_or("<absent>");
}

TEST(ProfileTextRead, MatchesIgnoringCaseAndBlanksFirstOccurrenceWins) {
  const ProfileText text(HandEdited);
  EXPECT_EQ(Value(text, "General", "LogLevel"), "3");
  EXPECT_EQ(Value(text, "GENERAL", " debugviewoutput "), "2");
  EXPECT_EQ(Value(text, "General", "Unknown"), "keep me");
  EXPECT_EQ(Value(text, "Vq-Color (1234)", "brightness"), "12");
  // Only the first section of a name counts.
  EXPECT_EQ(Value(text, "General", "Late"), "<absent>");
  EXPECT_EQ(Value(text, "General", "X"), "<absent>");
  EXPECT_EQ(Value(text, "General", "stray"), "<absent>");
  EXPECT_EQ(Value(text, "General", "# keep this"), "<absent>");
  EXPECT_EQ(Value(text, "Missing", "LogLevel"), "<absent>");
  EXPECT_EQ(Value(text, "General", "not a key line"), "<absent>");
}

TEST(ProfileTextRead, CommentedOutKeysAndEmptyValues) {
  const ProfileText text("[S]\n;A=1\n#B=2\nC=\nD =   \n");
  EXPECT_EQ(Value(text, "S", "A"), "<absent>");
  EXPECT_EQ(Value(text, "S", "B"), "<absent>");
  EXPECT_EQ(Value(text, "S", "C"), "");
  EXPECT_EQ(Value(text, "S", "D"), "");
}

// A value ends at a NUL or a stray carriage return and is trimmed there:
// what is read can be written back and reads back the same.
TEST(ProfileTextRead, AValueEndsAtANulOrACarriageReturnAndIsTrimmedThere) {
  const ProfileText text(std::string("[S]\nL= front \0x\0[S]=1\nM=a \r b\n", 30));
  EXPECT_EQ(Value(text, "S", "L"), "front");
  EXPECT_EQ(Value(text, "S", "M"), "a");
  EXPECT_TRUE(ProfileText::IsWritableValue(*text.Find("S", "M")));
}

TEST(ProfileTextRead, CrLfByteOrderMarkAndNoFinalLineEnd) {
  const ProfileText text("\xEF\xBB\xBF[General]\r\nLogLevel=2\r\nLast=x");
  EXPECT_EQ(Value(text, "General", "LogLevel"), "2");
  EXPECT_EQ(Value(text, "General", "Last"), "x");
}

TEST(ProfileTextRead, SectionNameRunsToTheLastBracket) {
  const ProfileText text("[Cam]X (7)]\nA=1\n");
  EXPECT_EQ(Value(text, "Cam]X (7)", "A"), "1");
}

// A comment after a section header, with or without brackets of its own.
class ProfileTextHeaderComment : public ::testing::TestWithParam<std::string> {};

TEST_P(ProfileTextHeaderComment, EndsTheHeaderAndNoSecondSectionIsAppended) {
  const std::string header = GetParam();
  ProfileText text(header + "\nLogLevel=2\n");
  EXPECT_EQ(Value(text, "General", "LogLevel"), "2");
  text.Set("General", "LogLevel", "3");
  text.Set("General", "DebugView", "1");
  EXPECT_EQ(text.Text(), header + "\nLogLevel=3\nDebugView=1\n");
}

INSTANTIATE_TEST_SUITE_P(Headers, ProfileTextHeaderComment,
                         ::testing::Values("[General] ; see [x]", "[General];[x]", " [ General ]\t# [old] name]",
                                           "[General] junk"));

TEST(ProfileTextWrite, UnchangedTextIsKeptByteForByte) {
  const std::string crlf = "\xEF\xBB\xBF[A]\r\nx = 1 \r\n\r\n; c\r\ntail";
  EXPECT_EQ(ProfileText(HandEdited).Text(), HandEdited);
  EXPECT_EQ(ProfileText(crlf).Text(), crlf);
}

TEST(ProfileTextWrite, ReplacesInPlaceKeepingSpellingAndSpacing) {
  ProfileText text(HandEdited);
  text.Set("GENERAL", "LOGLEVEL", "1");
  text.Set("general", "debugviewoutput", "0");
  text.Set("vq-color (1234)", "Brightness", "40");
  std::string expected = HandEdited;
  expected.replace(expected.find("  loglevel =  3 "), 16, "  loglevel =  1");
  expected.replace(expected.find("\tDebugViewOutput\t=\t2"), 20, "\tDebugViewOutput\t=\t0");
  expected.replace(expected.find("Brightness=12"), 13, "Brightness=40");
  EXPECT_EQ(text.Text(), expected);
}

TEST(ProfileTextWrite, NewKeysFollowTheLastEntryOfTheirSectionInOrder) {
  ProfileText text(HandEdited);
  text.Set("General", "New1", "a");
  text.Set("General", "New2", "b");
  text.Set("Vq-Color (1234)", "Gain", "7");
  std::string expected = HandEdited;
  expected.insert(expected.find("; about the camera below"), "New1=a\nNew2=b\n");
  expected.insert(expected.find("[Other]"), "Gain=7\n");
  EXPECT_EQ(text.Text(), expected);
}

TEST(ProfileTextWrite, NewSectionsGoToTheEndAfterOneBlankLine) {
  ProfileText empty;
  empty.Set("General", "LogLevel", "1");
  empty.Set("Cam (1)", "Continuous", "0");
  EXPECT_EQ(empty.Text(), "[General]\nLogLevel=1\n\n[Cam (1)]\nContinuous=0\n");

  ProfileText endsBlank("[A]\nx=1\n\n");
  endsBlank.Set("B", "y", "2");
  EXPECT_EQ(endsBlank.Text(), "[A]\nx=1\n\n[B]\ny=2\n");

  ProfileText headerOnly("[A]");
  headerOnly.Set("a", "k", "v");
  EXPECT_EQ(headerOnly.Text(), "[A]\nk=v\n");
}

TEST(ProfileTextWrite, NewLinesTakeTheFileLineEnding) {
  ProfileText text("[A]\r\nx=1");
  text.Set("A", "y", "2");
  text.Set("B", "z", "3");
  EXPECT_EQ(text.Text(), "[A]\r\nx=1\r\ny=2\r\n\r\n[B]\r\nz=3\r\n");
}

TEST(ProfileTextWrite, WrittenValuesReadBack) {
  ProfileText text(HandEdited);
  text.Set("General", "Unknown", "");
  text.Set("General", "Path", "C:\\x=y ; not a comment");
  const ProfileText reread(text.Text());
  EXPECT_EQ(Value(reread, "General", "Unknown"), "");
  EXPECT_EQ(Value(reread, "General", "Path"), "C:\\x=y ; not a comment");
  EXPECT_EQ(Value(reread, "General", "LogLevel"), "3");
}

TEST(ProfileTextWrite, OnlyTextThatStaysOneLineIsWritable) {
  EXPECT_TRUE(ProfileText::IsWritableSection("Vq-Color (1234)"));
  EXPECT_TRUE(ProfileText::IsWritableSection("Cam]X"));
  EXPECT_FALSE(ProfileText::IsWritableSection(" \t"));
  EXPECT_FALSE(ProfileText::IsWritableSection("Cam\n[General]"));
  EXPECT_TRUE(ProfileText::IsWritableKey("Fmt7PacketSize"));
  for (const char* key : {"", "  ", "a=b", "[x", ";x", "#x", "a\rb"})
    EXPECT_FALSE(ProfileText::IsWritableKey(key)) << key;
  EXPECT_TRUE(ProfileText::IsWritableValue("a = b ; c"));
  EXPECT_FALSE(ProfileText::IsWritableValue("1\n[General]\nLogLevel=4"));
  EXPECT_FALSE(ProfileText::IsWritableValue(std::string("a\0b", 3)));
}

}  // namespace
