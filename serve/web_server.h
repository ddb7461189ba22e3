#pragma once
// `tovrane serve`: a local web server with one page to play against the
// engines and replay recorded games. Every rule decision is made here, by the
// move generator, and reaches the page through a small JSON API:
//
//   GET  /api/engines                 the levels and engines on offer, the rule presets,
//                                     the range of seconds per move
//   GET  /api/circuits                the two circuits, for drawing the board
//   POST /api/games                   a new game {black, white: names, rules: preset,
//                                     clock: {seconds, increment, black?, white?: left},
//                                     start: {board, side}, moves: [...], settings: {vs,
//                                     you, seconds}, id?, end?: {end, side}}, all optional
//   GET  /api/games/ID[?version=N]    its state: boards, moves (captures with their
//                                     paths), legal moves with capture paths, clock, end
//                                     and reason, version; {same: true} while at version N
//   POST /api/games/ID/move           {move: "1222", ply?}: a move of the side to move
//                                     (with ply: sent twice, played once)
//   POST /api/games/ID/engine         {engine, seconds?}: the engine moves
//   POST /api/games/ID/stop           stops the engine's search in this game
//   POST /api/games/ID/takeback       {plies: n} (stops the engine's search)
//   POST /api/games/ID/resign         {side} (stops the engine's search)
//   POST /api/games/ID/analyse        {engine?}: static scores, engine's choice
//   POST /api/games/ID/evaluate       black's score, win chance and best move in
//                                     every position of the game
//   GET  /api/games/ID/record         the game as a match record file
//   POST /api/records                 a record file's text: its games, board by board,
//                                     and the rules of its match
//   POST /api/analyses                {moves, rules?}: a recorded game analysed in the
//                                     background by analysis/; GET /api/analyses/ID: the
//                                     plies so far with their marks
//
// Anything malformed, illegal or unknown gets a 4xx status and a JSON body
// {"error": one line}; so does a request whose Host header is not this
// server's address, or a write from another site's page (403). The page is
// compiled into the program and records arrive in request bodies; the only
// files are the games, one small JSON file each in the state folder
// (ServeConfig::stateDir), so that a restarted server keeps them.

#include <cstddef>
#include <memory>
#include <string>

namespace tovrane {

struct ServeConfig {
  std::string host = "127.0.0.1";
  int port = 8080;                  // 0: any free port
  size_t maxBodyBytes = 1 << 20;    // larger request bodies get 413
  int maxGames = 32;                // live games; the least recently used goes first
  double idleSeconds = 3600;        // a game untouched this long is dropped
  int searchSlots = 2;              // engine searches at once (one per core)
  double engineSeconds = 30;        // an engine request answers 503 after this long
  double maxBudgetSeconds = 10;     // the largest time budget a request may ask for
  std::string stateDir;             // each game saved here, to outlive a restart; empty: none
};

// A line to show when config.host opens the page beyond this machine
// (empty for a loopback address).
std::string exposureWarning(const ServeConfig& config);

class WebServer {
 public:
  explicit WebServer(const ServeConfig& config);
  // Stops serving and waits for engine searches still running.
  ~WebServer();
  WebServer(const WebServer&) = delete;
  WebServer& operator=(const WebServer&) = delete;

  // Binds the listening socket; returns the port. Throws std::runtime_error.
  int bind();
  // Serves until stop() is called (from any thread).
  void run();
  void stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tovrane
