// The routes of analysis: the static scores and an engine's choice in the
// current position, and the evaluation graph over the whole game.
#include "serve/web_server_impl.h"

#include <cmath>

#include "eval/classic_profile.h"
#include "eval/evaluator.h"
#include "eval/net_eval.h"
#include "rules/move_generator.h"
#include "search/pro_search.h"

namespace tovrane {

namespace {

// The page's evaluations: engine-pro stopped after about this many nodes per
// position, at most this many positions per request (the page asks again).
constexpr uint64_t kJudgeNodes = 150000;
constexpr int kJudgeBatch = 40;
// Win chance from a score (for the side to move): 1 / (1 + exp(-score /
// scale)), the curve fitted to the built-in network's games.
constexpr double kChanceScale = kNetChanceScale;

// One entry of the evaluation graph, from black's point of view.
json evalJson(int32_t sideScore, Side side, const EngineAnswer* answer) {
  const int32_t score = side == kBlack ? sideScore : -sideScore;
  json entry = {{"score", score}, {"best", nullptr}, {"depth", 0}, {"winIn", nullptr}};
  if (score > kProWinBound || score < -kProWinBound) {
    entry["chance"] = score > 0 ? 1.0 : 0.0;
    const int plies = kProWinScore - (score > 0 ? score : -score);
    entry["winIn"] = score > 0 ? plies : -plies;
  } else {
    entry["chance"] = 1 / (1 + std::exp(-score / kChanceScale));
  }
  if (answer != nullptr && answer->moved) {
    entry["best"] = moveText(answer->move);
    entry["depth"] = answer->depth;
  }
  return entry;
}

std::vector<Move> movesOf(const GameSession& session) {
  std::vector<Move> moves;
  for (const SessionPly& ply : session.plies()) moves.push_back(ply.move);
  return moves;
}

// Keeps the entries of the positions the game still goes through.
void syncEvals(LiveGame& game) {
  const std::vector<Move> moves = movesOf(game.session);
  size_t same = 0;
  while (same < moves.size() && same < game.evalMoves.size() && moves[same] == game.evalMoves[same]) ++same;
  game.evals.resize(same + 1);
  game.evals.resize(moves.size() + 1);
  game.evalMoves = moves;
}

}  // namespace

void WebServer::Impl::analysisRoutes() {
  http.Post(R"(/api/games/([0-9a-f]{16})/analyse)", api([this](const httplib::Request& req) {
              const json body = parseBody(req);
              double budget = 0;
              const EngineKind* kind = body.contains("engine") ? &engineField(body, budget) : nullptr;
              EngineQuestion question;
              bool over = false;
              withGame(req, false, [&](const std::string&, LiveGame& g) {
                question = questionFor(g.session, budget);
                over = g.session.over();
                return json();
              });
              const Board& board = question.board;
              const Side side = question.side;
              json out = {{"side", sideWord(side)},
                          {"static", Evaluator().evaluate(board, side)},
                          {"staticClassic", ClassicEvaluator().evaluate(board, side)},
                          {"choice", nullptr}};
              if (kind != nullptr && !over) {
                double seconds = 0;
                const EngineAnswer answer = runSearch<EngineAnswer>(
                    kind->id, [think = kind->think, question] { return think(question); }, seconds);
                out["engine"] = kind->id;
                out["choice"] = answerJson(answer, seconds);
              }
              return out;
            }));

  // The evaluation graph: black's score and win chance and the best move in
  // every position of the game; positions not yet evaluated are, up to a
  // batch per request ("pending" says how many are left).
  http.Post(R"(/api/games/([0-9a-f]{16})/evaluate)", api([this](const httplib::Request& req) {
              parseBody(req);
              std::vector<size_t> todo;
              std::vector<EngineQuestion> questions;
              std::vector<Move> moves;
              withGame(req, false, [&](const std::string&, LiveGame& g) {
                syncEvals(g);
                moves = g.evalMoves;
                for (size_t i = 0; i < g.evals.size() && static_cast<int>(todo.size()) < kJudgeBatch; ++i) {
                  if (!g.evals[i].is_null()) continue;
                  todo.push_back(i);
                  questions.push_back(questionFor(g.session, i, 0));
                }
                return json();
              });
              std::vector<json> found;
              if (!questions.empty()) {
                double seconds = 0;
                found = runSearch<std::vector<json>>(
                    "the evaluation",
                    [questions] {
                      PositionJudge judge(kJudgeNodes);
                      std::vector<json> out;
                      for (const EngineQuestion& q : questions) {
                        if (!hasAnyMove(q.board, q.side)) {
                          out.push_back(evalJson(-kProWinScore, q.side, nullptr));  // the side to move has lost
                          continue;
                        }
                        const EngineAnswer answer = judge.judge(q);
                        out.push_back(evalJson(answer.score, q.side, &answer));
                      }
                      return out;
                    },
                    seconds);
              }
              return withGame(req, false, [&](const std::string&, LiveGame& g) {
                syncEvals(g);
                // Entries for positions the game still goes through.
                for (size_t k = 0; k < todo.size(); ++k) {
                  const size_t i = todo[k];
                  bool same = i < g.evals.size();
                  for (size_t j = 0; same && j < i; ++j) same = moves[j] == g.evalMoves[j];
                  if (same) g.evals[i] = found[k];
                }
                json evals = json::array();
                int pending = 0;
                for (size_t i = 0; i < g.evals.size(); ++i) {
                  json entry = g.evals[i];
                  const GameSession& s = g.session;
                  // A game ended by a rule: its last position is worth the award.
                  if (i + 1 == g.evals.size() && s.over() && s.end() != SessionEnd::kResigned &&
                      s.end() != SessionEnd::kTimeForfeit && s.end() != SessionEnd::kNoMoves) {
                    const int32_t award = s.winner() == 0 ? 0 : s.winner() == kBlack ? kProWinScore : -kProWinScore;
                    entry = evalJson(award, kBlack, nullptr);
                    entry["winIn"] = nullptr;
                  }
                  if (entry.is_null()) ++pending;
                  evals.push_back(entry);
                }
                return json{{"evals", evals}, {"pending", pending}};
              });
            }));
}

}  // namespace tovrane
