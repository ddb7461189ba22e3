// The real engine programs under the faults a tournament can throw at them:
// input cut short, a referee that stops listening, broken or hostile book
// folders and files, and words of any length. Whatever happens, a program
// answers what it can, writes nothing on standard error, ends by itself and
// never hangs.

#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "tests/process_util.h"
#include "tests/temp_dir.h"
#include "tests/test_util.h"

namespace tovrane {
namespace {

namespace fs = std::filesystem;
using test::ProgramRun;
using test::RunOptions;

const std::string kInitialDigits = "222222222222000000000000111111111111";
constexpr int kTimeoutSeconds = 60;

ProgramRun runEngine(const std::string& program, const std::string& input, const std::string& dir = "",
                     const RunOptions& options = {}) {
  return test::runProgram(test::programPath(program), test::engineArgs(program), input, dir, kTimeoutSeconds, options);
}

void expectQuietExit(const ProgramRun& run, const std::string& what) {
  EXPECT_FALSE(run.timedOut) << what;
  EXPECT_EQ(run.exitStatus, 0) << what;
  EXPECT_EQ(run.err, "") << what;
}

TEST(EngineFaults, InputEndingInTheMiddleOfACommand) {
  for (const char* program : test::kEnginePrograms) {
    // The answer to "new black", which a colour word cut short still gets.
    const ProgramRun asBlack = runEngine(program, "new black\n");
    ASSERT_EQ(asBlack.out.size(), 10u) << program;
    const ProgramRun named = runEngine(program, "name?\n");
    const std::pair<std::string, std::string> cases[] = {
        {"new", ""},                         // no colour follows
        {"new white\nmove", ""},             // no move word follows
        {"new white\nmove ", ""},            // nor after the space
        {"name?\nna", named.out},            // a command word cut short is just an unknown word
        {"new white\nsto", ""},              // and "sto" does not stop: the end of input does
        {"new blac", asBlack.out},           // a colour other than "white" means black
        {std::string("name?\n\0", 7), named.out},  // a stray NUL byte is one unknown word
    };
    for (const auto& [input, expected] : cases) {
      const ProgramRun run = runEngine(program, input);
      const std::string what = std::string(program) + " on \"" + input + "\"";
      EXPECT_EQ(run.out, expected) << what;
      expectQuietExit(run, what);
    }
  }
}

TEST(EngineFaults, RefereeThatStopsReadingEndsTheEngineQuietly) {
  // The referee closes its end of our output but keeps our input open: the
  // first reply fails, and the program must end by itself rather than wait
  // for commands nobody will answer.
  for (const char* program : test::kEnginePrograms) {
    for (const std::string input : {"name?\n", "new black\n", "new white\nmove 1222\n"}) {
      const std::string what = std::string(program) + " on \"" + input + "\"";
      RunOptions options;
      options.keepInputOpen = true;
      options.closeOutput = true;
      const ProgramRun killed = runEngine(program, input, "", options);
      EXPECT_FALSE(killed.timedOut) << what;
      EXPECT_EQ(killed.signal, SIGPIPE) << what;  // the default for a write to a closed pipe
      EXPECT_EQ(killed.err, "") << what;

      options.ignorePipeSignal = true;  // a referee that starts us with SIGPIPE ignored
      const ProgramRun ended = runEngine(program, input, "", options);
      expectQuietExit(ended, what + " with SIGPIPE ignored");
    }
  }
}

TEST(EngineFaults, HugeWordsAreIgnoredWithoutTakingMemory) {
  // A word is kept only up to a small fixed length, so 64 MiB without white
  // space is one ignored word, not 64 MiB of memory. The input comes from a
  // file so that this process stays small: a child's peak memory counts what
  // it shared with its parent before it started the program.
  test::TempDir dir;
  const fs::path input = dir.path() / "input";
  {
    std::ofstream out(input, std::ios::binary);
    const std::string chunk(1u << 20, '1');
    for (int i = 0; i < 64; ++i) out << chunk;
    out << " name?\nnew white\nmove ";
    for (int i = 0; i < 64; ++i) out << chunk;
    out << "\n";
  }
  RunOptions options;
  options.inputFile = input.string();
  const ProgramRun huge = runEngine("engine-classic", "", "", options);
  const ProgramRun plain = runEngine("engine-classic", "name?\nnew white\nmove 4040404\n");
  EXPECT_EQ(huge.out, plain.out);
  ASSERT_EQ(plain.out.size(), 28u);  // the name reply and white's move
  expectQuietExit(huge, "huge words");
  EXPECT_LT(huge.peakKilobytes, plain.peakKilobytes + 16 * 1024)
      << "peak " << huge.peakKilobytes << " KiB against " << plain.peakKilobytes << " KiB";
}

// A book folder or book file that gives no book: the program searches, so
// it answers exactly as it does with no book at all.
TEST(EngineFaults, BrokenBookFoldersAndFilesMeanNoBook) {
  const fs::path file = fs::path("startgame") / (kInitialDigits + ".zjb");
  std::mt19937 rng(7);
  std::string binary(4096, '\0');
  for (char& c : binary) c = static_cast<char>(rng());

  struct Case {
    std::string name;
    std::function<void(const fs::path&)> make;
  };
  std::vector<Case> cases = {
      {"book folder is a file", [](const fs::path& d) { test::writeFile(d / "startgame", "black 1 2 2 2\n"); }},
      {"book folder is a dangling link", [](const fs::path& d) { fs::create_symlink(d / "nowhere", d / "startgame"); }},
      {"book file is a folder", [&](const fs::path& d) { fs::create_directories(d / file); }},
      {"book file is empty", [&](const fs::path& d) { test::writeFile(d / file, ""); }},
      {"book file is a dangling link",
       [&](const fs::path& d) {
         fs::create_directories(d / "startgame");
         fs::create_symlink(d / "nowhere", d / file);
       }},
      {"book file is a link to itself",
       [&](const fs::path& d) {
         fs::create_directories(d / "startgame");
         fs::create_symlink(d / file, d / file);
       }},
      {"book file is a named pipe nobody writes to",
       [&](const fs::path& d) {
         fs::create_directories(d / "startgame");
         ASSERT_EQ(mkfifo((d / file).c_str(), 0600), 0);
       }},
      {"book file is an endless device",
       [&](const fs::path& d) {
         fs::create_directories(d / "startgame");
         fs::create_symlink("/dev/zero", d / file);
       }},
      {"book file holds garbage", [&](const fs::path& d) { test::writeFile(d / file, "}{ black white 1.5 2 3 4\n"); }},
      {"book file holds binary data", [&](const fs::path& d) { test::writeFile(d / file, binary); }},
      {"book file holds only off-board numbers",
       [&](const fs::path& d) {
         test::writeFile(d / file,
                         "black -1 0 2 0\nblack 1 -2147483648 2 0\nblack 1 0 2147483647 0\n"
                         "black 1 0 2 99999999999999999999999999\nblack 6 0 2 0\n");
       }},
  };
  for (const char* program : test::kEnginePrograms) {
    const ProgramRun noBook = runEngine(program, "new black\nstop\n");
    ASSERT_EQ(noBook.out.size(), 10u) << program;
    for (const Case& c : cases) {
      test::TempDir dir;
      c.make(dir.path());
      const ProgramRun run = runEngine(program, "new black\nstop\n", dir.path().string());
      // Let TempDir clean up whatever the case locked away.
      std::error_code ignored;
      fs::permissions(dir.path() / "startgame", fs::perms::owner_all, ignored);
      const std::string what = std::string(program) + ": " + c.name;
      EXPECT_EQ(run.out, noBook.out) << what;
      expectQuietExit(run, what);
    }
  }
}

// Gives a folder and everything in it to a user, as if that user made them.
void giveTo(const fs::path& root, const RunOptions& user) {
  ASSERT_EQ(lchown(root.c_str(), user.userId, user.groupId), 0) << root;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
    ASSERT_EQ(lchown(entry.path().c_str(), user.userId, user.groupId), 0) << entry.path();
  }
}

// Why files cannot be given to that user or processes switched to it here
// (empty when they can): some containers give root neither right.
std::string cannotRunAs(const RunOptions& user) {
  test::TempDir dir;
  if (lchown(dir.path().c_str(), user.userId, user.groupId) != 0) {
    return std::string("cannot give it a folder: ") + std::strerror(errno);
  }
  const pid_t pid = fork();
  if (pid == 0) {
    const bool switched = setgroups(0, nullptr) == 0 && setgid(static_cast<gid_t>(user.groupId)) == 0 &&
                          setuid(static_cast<uid_t>(user.userId)) == 0;
    _exit(switched ? 0 : 1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? "" : "cannot switch a process to it";
}

// A book folder or file its user may not read gives no book. Root reads
// whatever the permissions say, so under root the programs run as the
// unprivileged user "nobody", in working folders that user owns, from copies
// that user may execute (the build folder may be closed to it).
TEST(EngineFaults, UnreadableBookFolderOrFileMeansNoBook) {
  RunOptions user;
  if (geteuid() == 0) {
    const passwd* nobody = getpwnam("nobody");
    if (nobody == nullptr) GTEST_SKIP() << "running as root, and there is no user 'nobody' to run the programs as";
    user.userId = static_cast<int>(nobody->pw_uid);
    user.groupId = static_cast<int>(nobody->pw_gid);
    const std::string why = cannotRunAs(user);
    if (!why.empty()) GTEST_SKIP() << "running as root, and the user 'nobody' is out of reach: " << why;
  }
  const fs::path file = fs::path("startgame") / (kInitialDigits + ".zjb");
  const fs::perms executable = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                               fs::perms::others_read | fs::perms::others_exec;
  test::TempDir programs;
  fs::permissions(programs.path(), executable);
  for (const char* program : test::kEnginePrograms) {
    const fs::path copy = programs.path() / program;
    fs::copy_file(test::programPath(program), copy);
    fs::permissions(copy, executable);
    // Runs the copy in a fresh folder holding a one-move book, after taking
    // every permission away from lockedPath (when given).
    const auto runWithBook = [&](const fs::path& lockedPath, bool withBook = true) {
      test::TempDir dir;
      if (withBook) dir.writeBook(kInitialDigits, "black 1 2 2 2\n");
      if (user.userId >= 0) giveTo(dir.path(), user);
      if (!lockedPath.empty()) fs::permissions(dir.path() / lockedPath, fs::perms::none);
      const ProgramRun run =
          test::runProgram(copy.string(), test::engineArgs(program), "new black\nstop\n", dir.path().string(), kTimeoutSeconds, user);
      std::error_code ignored;  // let TempDir clean up what was locked away
      fs::permissions(dir.path() / "startgame", fs::perms::owner_all, ignored);
      return run;
    };
    // The same user reads the book when it may, so the cases below cannot
    // pass merely because the book was out of its reach anyway.
    const ProgramRun readable = runWithBook({});
    EXPECT_EQ(readable.out, "move 1222\n") << program;
    expectQuietExit(readable, program);
    const ProgramRun noBook = runWithBook({}, false);
    ASSERT_EQ(noBook.out.size(), 10u) << program;
    ASSERT_NE(noBook.out, readable.out) << program;
    for (const fs::path& locked : {fs::path("startgame"), file}) {
      const ProgramRun run = runWithBook(locked);
      const std::string what = std::string(program) + " with " + locked.string() + " unreadable";
      EXPECT_EQ(run.out, noBook.out) << what;
      expectQuietExit(run, what);
    }
  }
}

TEST(EngineFaults, RecordsWithOffBoardNumbersAreSkipped) {
  test::TempDir dir;
  dir.writeBook(kInitialDigits,
                "black -1 2 2 2\nblack 1 2 -2 2\nblack 4294967298 2 2 2\nblack 1 2 2 -99999999999999999999\n"
                "black 1 3 2 3\nwhite -0 +4 3 4\n");
  for (const char* program : test::kEnginePrograms) {
    const ProgramRun black = runEngine(program, "new black\nstop\n", dir.path().string());
    EXPECT_EQ(black.out, "move 1323\n") << program;  // the one record on the board
    expectQuietExit(black, program);
  }
}

TEST(EngineFaults, BookPathOfUnusualBoards) {
  // Unchecked referee moves make boards no game reaches; each still has its
  // own 50-character book file name, and the engine finds it.
  struct Case {
    std::string referee;  // puts the Board in the position named by digits, white to move
    std::string digits;
    std::string book;
    std::string reply;
  };
  const Case cases[] = {
      // A piece "moved" onto its own square is lifted off the board.
      {"move 0000", "022222222222000000000000111111111111", "white 4 0 3 0", "move 4030\n"},
      // A black piece jumps onto the far corner.
      {"move 0055", "022222222222000000000000111111111112", "white 4 4 3 4", "move 4434\n"},
      // An empty square moved onto a piece wipes it out.
      {"move 2555", "222222222222000000000000111111111110", "white 5 4 5 5", "move 5455\n"},
  };
  for (const Case& c : cases) {
    Board expected = test::initialBoard();
    applyMove(expected, test::mv(c.referee.c_str() + 5));
    ASSERT_EQ(boardDigits(expected), c.digits);
    test::TempDir dir;
    dir.writeBook(kInitialDigits, "white 4 1 3 1\n");  // the usual board's book must not be used
    dir.writeBook(c.digits, c.book);
    for (const char* program : test::kEnginePrograms) {
      const ProgramRun run = runEngine(program, "new white\n" + c.referee + "\nstop\n", dir.path().string());
      EXPECT_EQ(run.out, c.reply) << program << " after " << c.referee;
      expectQuietExit(run, program);
    }
  }
}

}  // namespace
}  // namespace tovrane
