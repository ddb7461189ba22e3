// Fuzz target: arbitrary bytes as the whole input of the referee loop, run
// through the loop of each of the four programs.
//
// An independent model of the protocol follows the same words: it knows
// where each reply must stand, which kind it must be, and how far the loop
// may read. Beyond "no crash" the target checks that
//   - before every byte the loop reads, its Board has cells 0, 1 or 2 only
//     and at most 12 pieces a side;
//   - the output is exactly the replies the model expects: the name reply
//     for "name?", and for each turn of ours "move ", four digits 0..5 and
//     a line feed, holding a legal move (no book here: every move is
//     searched), or nothing when we have no move or no game has started;
//   - after "stop" nothing more is read, and without "stop" all of it is;
//   - the loop ends with the model's Board and side.
//
// Searches are what make an input slow, and the protocol does not depend on
// their depth, so each program runs with its base depth lowered to one ply
// (two or three with the depth tiers; engine-pro at a fixed depth of one),
// and an input is cut after its 16th
// search-triggering command.

#include <cstddef>
#include <cstdint>
#include <istream>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "engine/referee_loop.h"
#include "rules/move_generator.h"
#include "search/engine_settings.h"
#include "search/pro_search.h"
#include "search/search_engine.h"

namespace tovrane::fuzz {
namespace {

constexpr int kMaxSearchCommands = 16;

struct Word {
  size_t begin;
  size_t end;
};

std::vector<Word> splitWords(std::string_view input) {
  std::vector<Word> words;
  size_t i = 0;
  while (i < input.size()) {
    while (i < input.size() && isSpaceByte(static_cast<unsigned char>(input[i]))) ++i;
    if (i == input.size()) break;
    const size_t begin = i;
    while (i < input.size() && !isSpaceByte(static_cast<unsigned char>(input[i]))) ++i;
    words.push_back({begin, i});
  }
  return words;
}

// Hands the loop one byte at a time and checks its Board before each one.
class CheckedInput : public std::streambuf {
 public:
  explicit CheckedInput(std::string_view data) : data_(data) {}
  void watch(const RefereeLoop* loop) { loop_ = loop; }
  size_t delivered() const { return next_; }
  size_t consumed() const { return next_ - static_cast<size_t>(egptr() - gptr()); }

 protected:
  int_type underflow() override {
    if (next_ == data_.size()) return traits_type::eof();
    if (loop_ != nullptr) checkBoard(loop_->board());
    current_ = data_[next_++];
    setg(&current_, &current_, &current_ + 1);
    return traits_type::to_int_type(current_);
  }

 private:
  std::string_view data_;
  size_t next_ = 0;
  char current_ = 0;
  const RefereeLoop* loop_ = nullptr;
};

// What the loop must print and where it must stop, given its output so far
// for the engine's own moves.
struct Model {
  std::string_view input;
  std::string_view output;
  std::string_view nameReply;
  Board board{};
  Side ourSide = 0;
  size_t printed = 0;  // the part of output accounted for
  size_t stopEnd = std::string_view::npos;

  void expectName() {
    check(output.substr(printed, nameReply.size()) == nameReply, "name reply expected");
    printed += nameReply.size();
  }

  void ourTurn() {
    if (ourSide != kWhite && ourSide != kBlack) return;
    MoveList list;
    list.generateMoves(board, ourSide);
    if (list.lastIndex < 0) return;  // no move: no reply
    const std::string_view reply = output.substr(printed, 10);
    check(reply.size() == 10 && reply.substr(0, 5) == "move " && reply[9] == '\n', "move reply expected");
    check(isOnBoardMoveText(reply.substr(5, 4)), "move digits outside 0..5");
    const Move move = readMoveText(reply.data() + 5);
    check(isLegalMove(board, ourSide, move), "our move is not legal");
    applyMove(board, move);
    printed += 10;
  }

  void run(const std::vector<Word>& words) {
    resetBoard(board);
    auto text = [&](size_t i) { return input.substr(words[i].begin, words[i].end - words[i].begin); };
    for (size_t i = 0; i < words.size(); ++i) {
      const std::string_view command = text(i);
      if (command == "name?") {
        expectName();
      } else if (command == "new") {
        resetBoard(board);
        if (++i == words.size()) return;
        if (text(i) == "white") {
          ourSide = kWhite;
        } else {
          ourSide = kBlack;
          ourTurn();
        }
      } else if (command == "move") {
        if (++i == words.size()) return;
        const std::string_view word = text(i);
        if (word.size() <= 6 && word.size() >= 4) {
          bool digits = true;
          for (int k = 0; k < 4; ++k) digits = digits && word[k] >= '0' && word[k] <= '5';
          if (digits) applyMove(board, readMoveText(word.data()));
        }
        ourTurn();
      } else if (command == "stop") {
        stopEnd = words[i].end;
        return;
      }
    }
  }
};

// Cuts the input after the word that completes its kMaxSearchCommands-th
// "new" or "move" command.
std::string_view limitSearches(std::string_view input, const std::vector<Word>& words) {
  int searches = 0;
  for (size_t i = 0; i < words.size(); ++i) {
    const std::string_view command = input.substr(words[i].begin, words[i].end - words[i].begin);
    if ((command == "new" || command == "move") && i + 1 < words.size()) {
      ++i;
      if (++searches == kMaxSearchCommands) return input.substr(0, words[i].end);
    }
  }
  return input;
}

EngineSettings shallow(EngineSettings settings) {
  settings.baseDepth = 1;
  return settings;
}

struct Program {
  EngineSettings settings;
  std::unique_ptr<MoveChooser> chooser;
  explicit Program(const EngineSettings& s)
      : settings(shallow(s)), chooser(std::make_unique<SearchEngine>(settings, nullptr)) {}
  // engine-pro at a fixed depth of one ply (plus its quiescence search): its
  // moves then depend on the input alone, like the others'.
  explicit Program(std::unique_ptr<ProSearch> pro) : settings(kProEngine) {
    pro->setFixedDepth(1);
    chooser = std::move(pro);
  }
};

void runProgram(Program& program, std::string_view input, const std::vector<Word>& words) {
  CheckedInput buffer(input);
  std::istream in(&buffer);
  std::ostringstream out;
  RefereeLoop loop(program.settings, *program.chooser, in, out, nullptr);
  buffer.watch(&loop);
  check(loop.run() == 0, "exit status not 0");
  const std::string output = out.str();

  Model model{input, output, program.settings.nameReply};
  model.run(words);
  check(model.printed == output.size(), "output beyond the expected replies");
  check(loop.board() == model.board, "board differs from the model");
  check(loop.ourSide() == model.ourSide, "side differs from the model");
  checkBoard(loop.board());
  if (model.stopEnd != std::string_view::npos) {
    check(buffer.consumed() == model.stopEnd, "input taken after stop");
    check(buffer.delivered() <= model.stopEnd + 1, "input read beyond the delimiter after stop");
  } else {
    check(buffer.delivered() == input.size(), "input left unread without stop");
  }
}

}  // namespace
}  // namespace tovrane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tovrane;
  using namespace tovrane::fuzz;
  static Program programs[] = {Program(kStandardEngine), Program(kDeepEngine), Program(kClassicEngine),
                               Program(std::make_unique<ProSearch>(nullptr, 1))};
  std::string_view input(reinterpret_cast<const char*>(data), size);
  input = limitSearches(input, splitWords(input));
  const std::vector<Word> words = splitWords(input);
  for (Program& program : programs) runProgram(program, input, words);
  return 0;
}
