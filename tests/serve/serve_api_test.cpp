// The web server's JSON API, through a real server on an ephemeral loopback
// port and cpp-httplib's client.
#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "eval/classic_profile.h"
#include "eval/evaluator.h"
#include "match/game_record.h"
#include "rules/move_generator.h"
#include "search/engine_settings.h"
#include "search/search_engine.h"
#include "serve/web_server.h"

namespace tovrane {
namespace {

using json = nlohmann::json;

class ServeApi : public ::testing::Test {
 protected:
  void start(ServeConfig config = {}) {
    config.host = "127.0.0.1";
    config.port = 0;
    server_ = std::make_unique<WebServer>(config);
    const int port = server_->bind();
    thread_ = std::thread([this] { server_->run(); });
    client_ = std::make_unique<httplib::Client>("127.0.0.1", port);
    client_->set_read_timeout(60, 0);
  }
  void TearDown() override {
    if (server_) server_->stop();
    if (thread_.joinable()) thread_.join();
  }

  // Sends a request; returns the status and the parsed JSON body.
  std::pair<int, json> post(const std::string& path, const std::string& body,
                            const char* type = "application/json") {
    auto res = client_->Post(path.c_str(), body, type);
    if (!res) return {0, nullptr};
    return {res->status, json::parse(res->body, nullptr, false)};
  }
  std::pair<int, json> get(const std::string& path) {
    auto res = client_->Get(path.c_str());
    if (!res) return {0, nullptr};
    return {res->status, json::parse(res->body, nullptr, false)};
  }
  std::string newGame() {
    const auto [status, state] = post("/api/games", R"({"black":"tester","white":"engine"})");
    EXPECT_EQ(status, 200);
    return state["id"].get<std::string>();
  }

  std::unique_ptr<WebServer> server_;
  std::thread thread_;
  std::unique_ptr<httplib::Client> client_;
};

// A refusal is a 4xx with a one-line message.
void expectRefusal(const std::pair<int, json>& reply, int status) {
  EXPECT_EQ(reply.first, status) << reply.second.dump();
  ASSERT_TRUE(reply.second.is_object() && reply.second.contains("error")) << reply.second.dump();
  const std::string message = reply.second["error"].get<std::string>();
  EXPECT_FALSE(message.empty());
  EXPECT_EQ(message.find('\n'), std::string::npos);
}

std::vector<std::string> generatorMoves(const Board& board, Side side) {
  MoveList list{};
  list.generateMoves(board, side);
  std::vector<std::string> out;
  for (int i = 0; i < list.size(); ++i) {
    const std::string word = moveText(list.moves[i]);
    if (std::find(out.begin(), out.end(), word) == out.end()) out.push_back(word);
  }
  return out;
}

// A whole game: black plays the first legal move the server offers, white is
// `engine`. At every turn the offered moves are the generator's and the
// engine's reply is `chooseMove`'s; at the end the exported record replays,
// through the record endpoint, to the final board.
TEST_F(ServeApi, WholeGameThenRecordRoundTrip) {
  start();
  const std::string id = newGame();
  const std::string base = "/api/games/" + id;
  Board board{};
  resetBoard(board);
  json state = get(base).second;
  SearchEngine referee(kStandardEngine, nullptr);
  int plies = 0;
  while (!state["over"].get<bool>()) {
    ASSERT_LT(plies, 400);
    const Side side = state["toMove"] == "black" ? kBlack : kWhite;
    ASSERT_EQ(state["board"].get<std::string>(), boardDigits(board));
    std::vector<std::string> offered;
    for (const json& m : state["legal"]) offered.push_back(m["move"].get<std::string>());
    ASSERT_EQ(offered, generatorMoves(board, side));
    if (side == kBlack) {
      const std::string word = offered.front();
      const auto [status, next] = post(base + "/move", json{{"move", word}}.dump());
      ASSERT_EQ(status, 200) << next.dump();
      applyMove(board, readMoveText(word.c_str()));
      state = next;
    } else {
      Board copy = board;
      Move expected{};
      ASSERT_TRUE(referee.chooseMove(copy, kWhite, expected));
      const auto [status, reply] = post(base + "/engine", R"({"engine":"engine"})");
      ASSERT_EQ(status, 200) << reply.dump();
      ASSERT_EQ(reply["answer"]["move"].get<std::string>(), moveText(expected));
      applyMove(board, expected);
      state = reply["state"];
    }
    ++plies;
  }
  EXPECT_EQ(static_cast<int>(state["moves"].size()), plies);
  EXPECT_FALSE(state["reason"].get<std::string>().empty());
  // The game ended by the rules: the side to move has no move, or a draw.
  const Side toMove = state["toMove"] == "black" ? kBlack : kWhite;
  if (state["end"] == "no-moves") {
    EXPECT_FALSE(hasAnyMove(board, toMove));
    EXPECT_EQ(state["result"], toMove == kBlack ? "white" : "black");
  } else {
    EXPECT_EQ(state["result"], "draw");
  }
  expectRefusal(post(base + "/move", R"({"move":"1222"})"), 422);
  expectRefusal(post(base + "/engine", R"({"engine":"engine"})"), 409);

  auto exported = client_->Get((base + "/record").c_str());
  ASSERT_TRUE(exported);
  std::istringstream text(exported->body);
  const std::vector<GameRecord> games = readGameRecords(text);
  ASSERT_EQ(games.size(), 1u);
  EXPECT_EQ(games[0].plies(), plies);
  EXPECT_EQ(games[0].blackName, "tester");
  EXPECT_EQ(gameEndCode(games[0].end), state["end"].get<std::string>());
  const auto [status, parsed] = post("/api/records", exported->body, "text/plain");
  ASSERT_EQ(status, 200) << parsed.dump();
  EXPECT_EQ(parsed["games"][0]["plies"].back()["board"].get<std::string>(), boardDigits(board));

  // Take back: two plies go, the board is the one before them.
  const auto [backStatus, back] = post(base + "/takeback", R"({"plies":2})");
  ASSERT_EQ(backStatus, 200);
  EXPECT_FALSE(back["over"].get<bool>());
  EXPECT_EQ(static_cast<int>(back["moves"].size()), plies - 2);
  EXPECT_EQ(back["board"], parsed["games"][0]["plies"][plies - 3]["board"]);

  // Analysis there: the static scores of both profiles and engine-classic's choice.
  Board position{};
  ASSERT_TRUE(parseBoardDigits(back["board"].get<std::string>(), position));
  const Side side = back["toMove"] == "black" ? kBlack : kWhite;
  const auto [analysed, analysis] = post(base + "/analyse", R"({"engine":"engine-classic"})");
  ASSERT_EQ(analysed, 200) << analysis.dump();
  EXPECT_EQ(analysis["static"].get<int>(), Evaluator().evaluate(position, side));
  EXPECT_EQ(analysis["staticClassic"].get<int>(), ClassicEvaluator().evaluate(position, side));
  Move classicChoice{};
  SearchEngine classic(kClassicEngine, nullptr);
  ASSERT_TRUE(classic.chooseMove(position, side, classicChoice));
  EXPECT_EQ(analysis["choice"]["move"].get<std::string>(), moveText(classicChoice));
  EXPECT_EQ(analysis["choice"]["score"].get<int>(), classic.lastScore());
}

TEST_F(ServeApi, RefusesIllegalMalformedUnknownAndOversized) {
  start();
  const std::string base = "/api/games/" + newGame();
  expectRefusal(post(base + "/move", R"({"move":"1232"})"), 422);   // not a legal move
  expectRefusal(post(base + "/move", R"({"move":"4131"})"), 422);   // white's piece, black to move
  expectRefusal(post(base + "/move", R"({"move":"9999"})"), 400);
  expectRefusal(post(base + "/move", R"({"move":1222})"), 400);
  expectRefusal(post(base + "/move", "{\"move\":"), 400);
  expectRefusal(post(base + "/move", "[\"1222\"]"), 400);
  expectRefusal(post(base + "/engine", R"({"engine":"stockfish"})"), 400);
  expectRefusal(post(base + "/takeback", R"({"plies":"all"})"), 400);
  expectRefusal(post("/api/games", R"({"black":"two\nlines"})"), 400);
  expectRefusal(post("/api/games/0123456789abcdef/move", R"({"move":"1222"})"), 404);
  expectRefusal(get("/api/nothing"), 404);
  expectRefusal(get("/../../etc/passwd"), 404);
  expectRefusal(post("/api/records", "game 1\n1 black 1232 0.1\n", "text/plain"), 422);
  expectRefusal(post("/api/records", "plies 3\n", "text/plain"), 400);
  expectRefusal(post("/api/records", "", "text/plain"), 400);
  expectRefusal(post("/api/records", std::string((1 << 20) + 1, '#'), "text/plain"), 413);
  // None of it changed the game, and the server still plays.
  const auto [status, state] = post(base + "/move", R"({"move":"1222"})");
  EXPECT_EQ(status, 200);
  EXPECT_EQ(state["moves"].size(), 1u);
}

// An engine request that outlives its limit is answered 503 and leaves the
// game as it was; the server answers other requests meanwhile.
TEST_F(ServeApi, EngineRequestsAreBoundedInTime) {
  ServeConfig config;
  config.engineSeconds = 0.001;
  start(config);
  const std::string base = "/api/games/" + newGame();
  std::pair<int, json> slow;
  std::thread thinker([&] { slow = post(base + "/engine", R"({"engine":"engine-deep"})"); });
  const auto [status, engines] = get("/api/engines");
  EXPECT_EQ(status, 200);
  EXPECT_EQ(engines["engines"].size(), 4u);
  thinker.join();
  expectRefusal(slow, 503);
  const json state = get(base).second;
  EXPECT_EQ(state["moves"].size(), 0u);
  const auto [moveStatus, after] = post(base + "/move", R"({"move":"1222"})");
  EXPECT_EQ(moveStatus, 200) << after.dump();
}

// engine-pro searches for the time it is given, which must be given and
// must be within bounds.
TEST_F(ServeApi, EngineProPlaysWithItsTimeBudget) {
  start();
  const std::string base = "/api/games/" + newGame();
  expectRefusal(post(base + "/engine", R"({"engine":"engine-pro"})"), 400);
  expectRefusal(post(base + "/engine", R"({"engine":"engine-pro","seconds":0})"), 400);
  expectRefusal(post(base + "/engine", R"({"engine":"engine-pro","seconds":100})"), 400);
  Board board{};
  resetBoard(board);
  const auto [status, reply] = post(base + "/engine", R"({"engine":"engine-pro","seconds":0.05})");
  ASSERT_EQ(status, 200) << reply.dump();
  const std::vector<std::string> legal = generatorMoves(board, kBlack);
  EXPECT_NE(std::find(legal.begin(), legal.end(), reply["answer"]["move"].get<std::string>()), legal.end());
  EXPECT_EQ(reply["state"]["moves"].size(), 1u);
}

TEST_F(ServeApi, APortInUseIsRefused) {
  ServeConfig config;
  config.port = 0;
  WebServer first(config);
  config.port = first.bind();
  WebServer second(config);
  EXPECT_THROW(second.bind(), std::runtime_error);
}

TEST_F(ServeApi, LiveGamesAreCapped) {
  ServeConfig config;
  config.maxGames = 2;
  start(config);
  const std::string first = newGame();
  const std::string second = newGame();
  EXPECT_EQ(get("/api/games/" + first).first, 200);  // now the second is the least recently used
  newGame();
  EXPECT_EQ(get("/api/games/" + first).first, 200);
  expectRefusal(get("/api/games/" + second), 404);
}

}  // namespace
}  // namespace tovrane
