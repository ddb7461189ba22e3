#include "game/opening_book.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include "tests/temp_dir.h"
#include "tests/test_util.h"

namespace tovrane {
namespace {

const std::string kInitialDigits = "222222222222000000000000111111111111";

OpeningBook::Candidates readText(const std::string& text) {
  std::FILE* file = std::tmpfile();
  std::fwrite(text.data(), 1, text.size(), file);
  std::rewind(file);
  OpeningBook::Candidates found = OpeningBook::readRecords(file);
  std::fclose(file);
  return found;
}

TEST(OpeningBook, PathIsFolderDigitsAndExtension) {
  test::TempDir dir(true);
  OpeningBook book;
  Move out{9, 9, 9, 9};
  EXPECT_FALSE(book.findBookMove(test::initialBoard(), out, kBlack));
  EXPECT_EQ(std::string(book.path()), "startgame/" + kInitialDigits + ".zjb");
  EXPECT_EQ(std::string(book.path()).size(), 50u);
  EXPECT_EQ(out, (Move{9, 9, 9, 9}));  // untouched without a book
}

TEST(OpeningBook, PicksTheRecordOfTheSideAsked) {
  test::TempDir dir(true);
  dir.writeBook(kInitialDigits, "white 4 1 3 1\nblack 1 2 2 2\n");
  OpeningBook book;
  Move out{};
  ASSERT_TRUE(book.findBookMove(test::initialBoard(), out, kWhite));
  EXPECT_EQ(out, test::mv("4131"));
  ASSERT_TRUE(book.findBookMove(test::initialBoard(), out, kBlack));
  EXPECT_EQ(out, test::mv("1222"));
  ASSERT_TRUE(book.findBookMove(test::initialBoard(), out, 0));  // not white: the black list
  EXPECT_EQ(out, test::mv("1222"));
}

TEST(OpeningBook, ChoosesRecordAtNextRandomNumberModuloCount) {
  test::TempDir dir(true);
  dir.writeBook(kInitialDigits, "white 4 0 3 0 red 1 1 1 1 white 4 1 3 1 black 1 0 2 0 white 4 2 3 2");
  OpeningBook book;
  const Move expected[3] = {test::mv("4030"), test::mv("4131"), test::mv("4232")};
  for (unsigned seed : {1u, 2u, 3u, 4u, 5u, 99u}) {
    std::srand(seed);
    const int r = std::rand() % 32768;
    std::srand(seed);
    Move out{};
    ASSERT_TRUE(book.findBookMove(test::initialBoard(), out, kWhite));
    EXPECT_EQ(out, expected[r % 3]) << "seed " << seed;
  }
}

TEST(OpeningBook, FileWithoutRecordsForTheSideGivesNothing) {
  test::TempDir dir(true);
  dir.writeBook(kInitialDigits, "black 1 0 2 0\nblack 1 1 2 1\n");
  OpeningBook book;
  Move out{7, 7, 7, 7};
  EXPECT_FALSE(book.findBookMove(test::initialBoard(), out, kWhite));
  EXPECT_EQ(out, (Move{7, 7, 7, 7}));
}

TEST(OpeningBook, DirectoryInPlaceOfFileGivesNothing) {
  test::TempDir dir(true);
  std::filesystem::create_directories(dir.path() / "startgame" / (kInitialDigits + ".zjb"));
  OpeningBook book;
  Move out{};
  EXPECT_FALSE(book.findBookMove(test::initialBoard(), out, kBlack));
}

TEST(OpeningBookRecords, TenthAndLaterRecordsOfAColourAreIgnored) {
  std::string text;
  for (int i = 0; i < 12; ++i) text += "black " + std::to_string(i % 6) + " 0 2 0\n";
  text += "white 4 1 3 1\n";
  const OpeningBook::Candidates found = readText(text);
  EXPECT_EQ(found.blackCount, 9);
  EXPECT_EQ(found.black[8], (Move{2, 2, 0, 0}));  // the ninth record: fromRow 8 % 6
  EXPECT_EQ(found.whiteCount, 1);                 // later records of the other colour still count
}

TEST(OpeningBookRecords, ReadingStopsAtTheFirstRecordThatDoesNotConvert) {
  const OpeningBook::Candidates found = readText("white 4 1 3 1\nwhite 4 x 3 1\nwhite 4 2 3 2\n");
  EXPECT_EQ(found.whiteCount, 1);
  EXPECT_EQ(found.white[0], test::mv("4131"));
  EXPECT_EQ(readText("black 1 2 2").blackCount, 0);  // cut short by end of file
  EXPECT_EQ(readText("").blackCount, 0);
}

TEST(OpeningBookRecords, OffBoardNumbersSkipTheRecordOnly) {
  const OpeningBook::Candidates found =
      readText("black -1 0 2 0\nblack 1 0 6 0\nblack 99999999999999999999 0 0 0\nblack 1 3 2 3\n");
  ASSERT_EQ(found.blackCount, 1);
  EXPECT_EQ(found.black[0], test::mv("1323"));
}

TEST(OpeningBookRecords, ColourWordsMustMatchWhole) {
  const std::string longWord(5000, 'w');
  const OpeningBook::Candidates found =
      readText("whitewash 4 1 3 1 Black 1 0 2 0 " + longWord + " 1 1 2 1 blac 1 2 2 2 white 4 2 3 2");
  EXPECT_EQ(found.blackCount, 0);
  ASSERT_EQ(found.whiteCount, 1);
  EXPECT_EQ(found.white[0], test::mv("4232"));
}

TEST(OpeningBookRecords, NumbersRunIntoTheNextWordLikeFormattedInput) {
  // "1white" reads as the number 1, and "white" begins the next record.
  const OpeningBook::Candidates found = readText("black 1 0 2 0white 4 0 3 0");
  EXPECT_EQ(found.blackCount, 1);
  EXPECT_EQ(found.whiteCount, 1);
}

}  // namespace
}  // namespace tovrane
