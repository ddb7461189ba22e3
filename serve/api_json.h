#pragma once
// The web API's common parts: a refused request, the fields a request may
// carry, and the JSON forms of moves, boards and engine answers.

#include <httplib.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "game/board.h"
#include "serve/capture_path.h"
#include "serve/engine_kinds.h"

namespace tovrane::web {

using json = nlohmann::json;
using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start);
const char* sideWord(Side side);

// JSON text; bytes that are not UTF-8 (from a request) become U+FFFD
// instead of an exception.
std::string dumpJson(const json& value);

// A request the server refuses: the status and the one-line message.
struct Refusal {
  int status;
  std::string message;
};

[[noreturn]] void refuse(int status, const std::string& message);
void setError(httplib::Response& res, int status, const std::string& message);

json squaresJson(const std::vector<Square>& squares);
// Every distinct legal move of side, in generation order, each capture with
// the path it travels.
json legalMovesJson(const Board& board, Side side);
json answerJson(const EngineAnswer& answer, double seconds);

// Request fields: each refuses (400) a missing or malformed value with a
// message naming it.
std::string nameField(const json& body, const char* key, const char* fallback);
Side sideField(const json& body, const char* key);
double numberField(const json& body, const char* key, double low, double high);
Move moveWord(const json& value, const std::string& what);
json parseBody(const httplib::Request& req);

}  // namespace tovrane::web
