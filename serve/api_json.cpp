#include "serve/api_json.h"

#include <algorithm>
#include <sstream>

#include "rules/move_generator.h"
#include "serve/capture_path.h"
#include "serve/request_guard.h"

namespace tovrane::web {

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

const char* sideWord(Side side) { return side == kWhite ? "white" : "black"; }

std::string dumpJson(const json& value) { return value.dump(-1, ' ', false, json::error_handler_t::replace); }

void refuse(int status, const std::string& message) { throw Refusal{status, oneLine(message)}; }

void setError(httplib::Response& res, int status, const std::string& message) {
  res.status = status;
  res.set_content(dumpJson(json{{"error", oneLine(message)}}), "application/json");
}

json squaresJson(const std::vector<Square>& squares) {
  json out = json::array();
  for (const Square& s : squares) out.push_back({s.row, s.col});
  return out;
}
json legalMovesJson(const Board& board, Side side) {
  MoveList list{};
  list.generateMoves(board, side);
  json out = json::array();
  std::vector<Move> seen;
  for (int i = 0; i < list.size(); ++i) {
    const Move& m = list.moves[i];
    if (std::find(seen.begin(), seen.end(), m) != seen.end()) continue;
    seen.push_back(m);
    const bool capture = board.at(m.toRow, m.toCol) != kEmpty;
    out.push_back({{"move", moveText(m)},
                   {"capture", capture},
                   {"path", capture ? squaresJson(capturePath(board, m)) : json::array()}});
  }
  return out;
}

json answerJson(const EngineAnswer& answer, double seconds) {
  if (!answer.moved) return nullptr;
  return {{"move", moveText(answer.move)}, {"score", answer.score}, {"depth", answer.depth}, {"seconds", seconds}};
}

// A player's name goes into a record line, so it must be one short line.
std::string nameField(const json& body, const char* key, const char* fallback) {
  if (!body.contains(key)) return fallback;
  const json& value = body[key];
  if (!value.is_string()) refuse(400, std::string(key) + " must be a string");
  const std::string name = value.get<std::string>();
  if (name.empty() || name.size() > 40) refuse(400, std::string(key) + " must be 1 to 40 characters");
  for (unsigned char ch : name) {
    if (ch < 0x20 || ch > 0x7e) refuse(400, std::string(key) + " may hold printable ASCII only");
  }
  return name;
}

Side sideField(const json& body, const char* key) {
  if (!body.contains(key) || !body[key].is_string()) refuse(400, std::string(key) + " must be \"black\" or \"white\"");
  const std::string word = body[key].get<std::string>();
  if (word == "black") return kBlack;
  if (word == "white") return kWhite;
  refuse(400, std::string(key) + " must be \"black\" or \"white\"");
}

double numberField(const json& body, const char* key, double low, double high) {
  if (!body.contains(key) || !body[key].is_number()) refuse(400, std::string(key) + " must be given as a number");
  const double value = body[key].get<double>();
  if (!(value >= low && value <= high)) {
    std::ostringstream text;
    text << key << " must be from " << low << " to " << high;
    refuse(400, text.str());
  }
  return value;
}

Move moveWord(const json& value, const std::string& what) {
  if (!value.is_string()) refuse(400, what + " must be given as a string");
  const std::string word = value.get<std::string>();
  if (word.size() != 4 || !isOnBoardMoveText(word)) {
    refuse(400, what + ": a move is four digits 0..5 (from-row from-col to-row to-col)");
  }
  return readMoveText(word.c_str());
}

json parseBody(const httplib::Request& req) {
  if (req.body.empty()) return json::object();
  json body = json::parse(req.body, nullptr, false);
  if (body.is_discarded()) refuse(400, "the request body is not JSON");
  if (!body.is_object()) refuse(400, "the request body must be a JSON object");
  return body;
}

}  // namespace tovrane::web
