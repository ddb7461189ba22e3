// The web server's JSON API, through a real server on an ephemeral loopback
// port and cpp-httplib's client.
#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "analysis/game_analysis.h"
#include "eval/classic_profile.h"
#include "eval/evaluator.h"
#include "match/game_record.h"
#include "rules/move_generator.h"
#include "search/engine_settings.h"
#include "search/search_engine.h"
#include "serve/engine_kinds.h"
#include "serve/game_session.h"
#include "serve/request_guard.h"
#include "serve/web_server.h"
#include "tests/temp_dir.h"

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
    port_ = port;
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
  int port_ = 0;
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
  // A record line that is not UTF-8 is quoted in the message, made printable.
  expectRefusal(post("/api/records", "game 1\n1 black 1222 \xff\xfe\n", "text/plain"), 400);
  expectRefusal(post("/api/games", R"({"moves":["1222","1232"]})"), 422);
  expectRefusal(post("/api/games", R"({"rules":"chess"})"), 400);
  expectRefusal(post("/api/games", R"({"start":{"board":"2222222222222000000000000111111111111","side":"black"}})"), 400);
  expectRefusal(post("/api/games", R"({"clock":{"seconds":0}})"), 400);
  expectRefusal(post(base + "/resign", R"({"side":"red"})"), 400);

  // Random bytes on every route, the GET ones posted to: a 4xx each time.
  // Bodies mutated from good ones may be good: never a 5xx.
  const std::vector<std::string> routes = {"/api/games", base + "/move", base + "/engine", base + "/takeback",
                                           base + "/resign", base + "/analyse", base + "/evaluate",
                                           "/api/records", "/", "/api/engines", "/api/circuits", base,
                                           base + "/record"};
  const std::vector<std::string> good = {R"({"move":"1222"})", R"({"engine":"level-1"})", R"({"plies":1})",
                                         R"({"side":"black"})", R"({"rules":"draw80","moves":["1222"]})"};
  std::mt19937 random(24);
  for (const std::string& route : routes) {
    for (int round = 0; round < 12; ++round) {
      std::string bytes(8 + random() % 120, '\0');
      for (char& ch : bytes) ch = static_cast<char>(random() & 0xff);
      const auto reply = post(route, bytes, round % 2 ? "text/plain" : "application/json");
      EXPECT_GE(reply.first, 400) << route;
      EXPECT_LT(reply.first, 500) << route << ": " << reply.second.dump();
      std::string mutated = good[random() % good.size()];
      mutated[random() % mutated.size()] = static_cast<char>(random() & 0xff);
      const int status = post(route, mutated).first;
      EXPECT_TRUE(status > 0 && status < 500) << route << " " << status;
    }
  }
  // The server still plays.
  const auto [status, state] = get(base);
  EXPECT_EQ(status, 200);
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
  EXPECT_EQ(engines["engines"].size(), engineKinds().size());
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

// A page of another site reaching the server through the user's browser:
// by a name of its own for this machine (its Host header), or by posting to
// it (its Origin). Refused, 403 with one line; this server's own page is not.
TEST_F(ServeApi, ForeignHostsAndCrossSiteWritesAreRefused) {
  start();
  const std::string self = "127.0.0.1:" + std::to_string(port_);
  auto send = [&](const char* method, const std::string& path, httplib::Headers headers) {
    httplib::Result res = std::string(method) == "GET" ? client_->Get(path.c_str(), headers)
                                                        : client_->Post(path.c_str(), headers, "{}", "application/json");
    if (!res) return std::pair<int, json>{0, nullptr};
    EXPECT_FALSE(res->has_header("Access-Control-Allow-Origin"));
    return std::pair<int, json>{res->status, json::parse(res->body, nullptr, false)};
  };
  expectRefusal(send("GET", "/", {{"Host", "rebound.example:" + std::to_string(port_)}}), 403);
  expectRefusal(send("GET", "/api/engines", {{"Host", "127.0.0.1:1"}}), 403);
  expectRefusal(send("POST", "/api/games", {{"Host", "rebound.example"}}), 403);
  EXPECT_EQ(send("GET", "/", {{"Host", "localhost:" + std::to_string(port_)}}).first, 200);
  EXPECT_EQ(send("GET", "/api/engines", {{"Host", self}}).first, 200);
  expectRefusal(send("POST", "/api/games", {{"Origin", "http://elsewhere.example"}}), 403);
  expectRefusal(send("POST", "/api/games", {{"Origin", "null"}}), 403);
  expectRefusal(send("POST", "/api/records", {{"Origin", "http://localhost:" + std::to_string(port_ + 1)}}), 403);
  expectRefusal(send("POST", "/api/games", {{"Sec-Fetch-Site", "cross-site"}}), 403);
  EXPECT_EQ(send("POST", "/api/games", {{"Origin", "http://" + self}, {"Sec-Fetch-Site", "same-origin"}}).first, 200);
  EXPECT_EQ(send("GET", "/api/engines", {{"Origin", "http://elsewhere.example"}}).first, 200);  // a read

  // Bound to every address: any address literal is this machine, no name is.
  RequestGuard wild("0.0.0.0", 8080);
  EXPECT_EQ(wild.checkHost("192.168.1.5:8080"), "");
  EXPECT_EQ(wild.checkHost("[fe80::1]:8080"), "");
  EXPECT_NE(wild.checkHost("rebound.example:8080"), "");
  EXPECT_NE(wild.checkHost("192.168.1.5:8081"), "");
  RequestGuard named("::1", 80);
  EXPECT_EQ(named.checkHost("[::1]"), "");
  EXPECT_EQ(named.checkHost("LOCALHOST:80"), "");
  ServeConfig open;
  open.host = "0.0.0.0";
  EXPECT_NE(exposureWarning(open), "");
  EXPECT_EQ(exposureWarning(ServeConfig{}), "");
}

// Games from a set-up position or a list of moves, resignation, and the
// evaluation of every position.
TEST_F(ServeApi, SetUpGamesResignAndEvaluations) {
  start();
  // Black has six pieces left, white twelve; white to move.
  const std::string board = "222222000000000000000000111111111111";
  auto [status, state] = post("/api/games", json{{"start", {{"board", board}, {"side", "white"}}},
                                                  {"moves", {"4434"}}, {"rules", "pieces80"}}.dump());
  ASSERT_EQ(status, 200) << state.dump();
  EXPECT_EQ(state["start"], board);
  EXPECT_EQ(state["rules"], "pieces80");
  EXPECT_EQ(state["toMove"], "black");
  EXPECT_FALSE(state["fromInitial"].get<bool>());
  EXPECT_EQ(state["boards"].size(), 2u);
  const std::string base = "/api/games/" + state["id"].get<std::string>();
  expectRefusal(get(base + "/record"), 409);

  const auto [evaluated, evals] = post(base + "/evaluate", "{}");
  ASSERT_EQ(evaluated, 200) << evals.dump();
  ASSERT_EQ(evals["evals"].size(), 2u);
  EXPECT_EQ(evals["pending"], 0);
  for (size_t i = 0; i < 2; ++i) {
    Board position{};
    ASSERT_TRUE(parseBoardDigits(state["boards"][i].get<std::string>(), position));
    const std::vector<std::string> legal = generatorMoves(position, i == 0 ? kWhite : kBlack);
    const json& e = evals["evals"][i];
    EXPECT_NE(std::find(legal.begin(), legal.end(), e["best"].get<std::string>()), legal.end()) << e.dump();
    EXPECT_LT(e["score"].get<int>(), 0);  // from black's view
    EXPECT_LT(e["chance"].get<double>(), 0.5);
  }
  const auto [resigned, over] = post(base + "/resign", R"({"side":"black"})");
  ASSERT_EQ(resigned, 200);
  EXPECT_EQ(over["result"], "white");
  EXPECT_EQ(over["end"], "resigned");
  expectRefusal(post(base + "/resign", R"({"side":"white"})"), 409);
  const auto [back, after] = post(base + "/takeback", R"({"plies":1})");
  EXPECT_EQ(back, 200);
  EXPECT_FALSE(after["over"].get<bool>());
  EXPECT_EQ(after["moves"].size(), 0u);
}

// The ends of a game under each rule preset against a plain referee of its
// own: random games, every ply compared.
TEST(GameSessionRules, EndsAsThePresetsSay) {
  std::mt19937 random(7);
  for (const RulesPreset& preset : rulesPresets()) {
    const GameRules& rules = preset.rules;
    for (int game = 0; game < 30; ++game) {
      GameSession session(rules);
      Board board{};
      resetBoard(board);
      Side side = kBlack;
      int quiet = 0;
      std::set<std::pair<std::string, Side>> seen{{boardDigits(board), side}};
      std::string expectedEnd = "none";
      Side expectedWinner = 0;
      for (int ply = 1; expectedEnd == "none"; ++ply) {
        const std::vector<std::string> moves = generatorMoves(board, side);
        const std::string word = moves[random() % moves.size()];
        std::string why;
        ASSERT_TRUE(session.play(readMoveText(word.c_str()), 0, why)) << why;
        const Move move = readMoveText(word.c_str());
        const bool capture = board.at(move.toRow, move.toCol) != kEmpty;
        applyMove(board, move);
        side = opponent(side);
        quiet = capture ? 0 : quiet + 1;
        if (capture) seen.clear();
        const bool repeated = !seen.insert({boardDigits(board), side}).second;
        const int black = countPieces(board, kBlack);
        const int white = countPieces(board, kWhite);
        auto award = [&](RuleAward a) -> Side {
          return a == RuleAward::kDraw || black == white ? 0 : black > white ? kBlack : kWhite;
        };
        if (generatorMoves(board, side).empty()) {
          expectedEnd = "no-moves";
          expectedWinner = opponent(side);
        } else if (rules.repetitionEnds && repeated) {
          expectedEnd = "repetition";
          expectedWinner = award(rules.repetitionAward);
        } else if (quiet >= rules.quietLimit) {
          expectedEnd = "quiet-limit";
          expectedWinner = award(rules.quietAward);
        } else if (ply >= rules.maxPlies) {
          expectedEnd = "ply-cap";
          expectedWinner = award(rules.capAward);
        }
        ASSERT_EQ(sessionEndCode(session.end()), expectedEnd) << preset.name << " game " << game << " ply " << ply;
        ASSERT_EQ(session.winner(), expectedWinner);
      }
    }
  }
}

// The clock: a move that took longer than its side had left is not played
// and loses; increments are added; a take-back gives the time back.
TEST(GameSessionRules, ClockFlagsAndIncrements) {
  GameSession session(GameRules{}, ClockSettings{10, 2});
  std::string why;
  ASSERT_TRUE(session.play(readMoveText("1222"), 3, why));
  EXPECT_DOUBLE_EQ(session.timeLeft(kBlack), 9);
  ASSERT_TRUE(session.play(readMoveText("4232"), 11.5, why));
  EXPECT_TRUE(session.over());
  EXPECT_STREQ(sessionEndCode(session.end()), "time-forfeit");
  EXPECT_EQ(session.winner(), kBlack);
  EXPECT_EQ(session.plies().size(), 1u);
  EXPECT_EQ(session.record("a", "b").winner, kBlack);
  EXPECT_STREQ(gameEndCode(session.record("a", "b").end), "time-forfeit");
  session.takeBack(1);
  EXPECT_FALSE(session.over());
  EXPECT_DOUBLE_EQ(session.timeLeft(kBlack), 10);
  EXPECT_DOUBLE_EQ(session.timeLeft(kWhite), 10);
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


// The state folder: a restarted server brings back a running game with its
// clock and settings, and a resigned game as resigned. A game rebuilt from
// a link keeps the id, the end and the clock times it is given.
TEST_F(ServeApi, GamesOutliveARestart) {
  test::TempDir dir;
  ServeConfig config;
  config.stateDir = dir.path().string();
  start(config);
  auto [created, running] = post("/api/games", json{{"clock", {{"seconds", 60}, {"increment", 1}}},
                                                    {"settings", {{"vs", "engine-pro"}, {"you", "black"}, {"seconds", 0.5}}}}
                                                   .dump());
  ASSERT_EQ(created, 200) << running.dump();
  const std::string a = "/api/games/" + running["id"].get<std::string>();
  for (int ply = 0; ply < 3; ++ply) {
    const std::string move = running["legal"][0]["move"];
    std::tie(created, running) = post(a + "/move", json{{"move", move}, {"ply", ply}}.dump());
    ASSERT_EQ(created, 200) << running.dump();
  }
  auto [made, resigned] = post("/api/games", json{{"moves", {"1222"}}}.dump());
  const std::string b = "/api/games/" + resigned["id"].get<std::string>();
  std::tie(made, resigned) = post(b + "/resign", R"({"side":"white"})");
  ASSERT_EQ(made, 200);

  TearDown();
  server_.reset();
  start(config);
  const auto [gotA, stateA] = get(a);
  ASSERT_EQ(gotA, 200) << stateA.dump();
  EXPECT_EQ(stateA["moves"], running["moves"]);
  EXPECT_EQ(stateA["settings"], running["settings"]);
  EXPECT_FALSE(stateA["over"].get<bool>());
  EXPECT_EQ(stateA["clock"]["running"], "white");
  // Black's clock stands: 60 s, plus two increments, less what its moves took.
  EXPECT_DOUBLE_EQ(stateA["clock"]["black"].get<double>(), running["clock"]["black"].get<double>());
  const auto [gotB, stateB] = get(b);
  ASSERT_EQ(gotB, 200);
  EXPECT_EQ(stateB["end"], "resigned");
  EXPECT_EQ(stateB["result"], "black");
  expectRefusal(post(b + "/move", R"({"move":"4131"})"), 422);  // over stays over

  // From a link: the id asked for, the end and the clock's times left.
  const std::string id = "00000000000000ab";
  const auto [linked, fromLink] = post("/api/games", json{{"id", id}, {"moves", {"1222", "4131"}},
                                                          {"clock", {{"seconds", 60}, {"black", 41.5}, {"white", 17}}},
                                                          {"end", {{"end", "time-forfeit"}, {"side", "black"}}}}
                                                         .dump());
  ASSERT_EQ(linked, 200) << fromLink.dump();
  EXPECT_EQ(fromLink["id"], id);
  EXPECT_EQ(fromLink["end"], "time-forfeit");
  EXPECT_EQ(fromLink["clock"]["white"], 17);
  EXPECT_EQ(fromLink["clock"]["black"], 0);  // its flag fell
}

// A move sent twice (a double click) is played once; a stale one is refused.
// Settings out of range are refused before a game starts.
TEST_F(ServeApi, AMoveSentTwiceIsPlayedOnce) {
  start();
  const std::string base = "/api/games/" + newGame();
  std::vector<std::thread> senders;
  std::vector<int> statuses(4, 0);
  for (size_t i = 0; i < statuses.size(); ++i) {
    senders.emplace_back([&, i] {
      httplib::Client client("127.0.0.1", port_);
      auto res = client.Post((base + "/move").c_str(), R"({"move":"1222","ply":0})", "application/json");
      statuses[i] = res ? res->status : 0;
    });
  }
  for (std::thread& t : senders) t.join();
  EXPECT_EQ(statuses, std::vector<int>(4, 200));
  const auto [status, state] = get(base);
  ASSERT_EQ(state["moves"].size(), 1u) << state.dump();
  expectRefusal(post(base + "/move", R"({"move":"1323","ply":0})"), 409);
  // Watching pages: the same version gets a short answer.
  const auto [same, brief] = get(base + "?version=" + std::to_string(state["version"].get<uint64_t>()));
  EXPECT_TRUE(brief["same"].get<bool>());
  EXPECT_FALSE(brief.contains("moves"));

  const auto refused = post("/api/games", R"({"settings":{"vs":"engine-pro","seconds":30}})");
  expectRefusal(refused, 400);
  EXPECT_NE(refused.second["error"].get<std::string>().find("from 0.01 to 10"), std::string::npos);
}

// Take back while engine-pro thinks: the take-back is made, the engine's
// request is answered 409, and its search has ended (its only slot is free).
TEST_F(ServeApi, TakeBackWhileTheEngineThinksStopsItsSearch) {
  ServeConfig config;
  config.searchSlots = 1;
  start(config);
  const std::string base = "/api/games/" + newGame();
  ASSERT_EQ(post(base + "/move", R"({"move":"1222"})").first, 200);
  int engineStatus = 0;
  std::thread engine([&] {
    httplib::Client client("127.0.0.1", port_);
    client.set_read_timeout(60, 0);
    auto res = client.Post((base + "/engine").c_str(), R"({"engine":"engine-pro","seconds":10})", "application/json");
    engineStatus = res ? res->status : 0;
  });
  json state;
  do {
    state = get(base).second;
  } while (!state["thinking"].get<bool>() && state["moves"].size() == 1);
  const auto [backed, back] = post(base + "/takeback", R"({"plies":1})");
  engine.join();
  EXPECT_EQ(backed, 200) << back.dump();
  EXPECT_EQ(back["moves"].size(), 0u);
  EXPECT_EQ(engineStatus, 409);
  EXPECT_EQ(post(base + "/evaluate", "{}").first, 200);  // the slot is free again
}

// The replay's analysis is the game analyser's: the same marks, losses and
// best moves as analyseGame gives for the same moves.
TEST_F(ServeApi, RecordAnalysisMarksAsTheAnalyserDoes) {
  start();
  const std::vector<std::string> words = {"1222", "4131", "1021", "4433", "0010", "5041"};
  std::vector<Move> moves;
  for (const std::string& w : words) moves.push_back(readMoveText(w.c_str()));
  const auto [started, job] = post("/api/analyses", json{{"moves", words}}.dump());
  ASSERT_EQ(started, 200) << job.dump();
  json progress;
  do {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    progress = get("/api/analyses/" + job["id"].get<std::string>()).second;
  } while (!progress["done"].get<bool>());
  Board start{};
  resetBoard(start);
  const GameAnalysis expected = analyseGame(start, kBlack, moves, AnalysisSettings{});
  ASSERT_EQ(progress["plies"].size(), expected.plies.size()) << progress.dump();
  for (size_t i = 0; i < expected.plies.size(); ++i) {
    const json& ply = progress["plies"][i];
    EXPECT_EQ(ply["mark"], markWord(expected.plies[i].mark)) << i;
    EXPECT_EQ(ply["loss"], expected.plies[i].loss) << i;
    EXPECT_EQ(ply["best"], moveText(expected.plies[i].best)) << i;
  }
  expectRefusal(post("/api/analyses", R"({"moves":["1222","1222"]})"), 422);
}

}  // namespace
}  // namespace tovrane
