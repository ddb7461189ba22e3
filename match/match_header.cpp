#include "match/match_header.h"

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <map>
#include <sstream>
#include <stdexcept>
#include <utility>

namespace tovrane {

namespace {

constexpr const char* kPrefix = " match ";

// Shortest text that reads back as the same double.
std::string numberText(double value) {
  char text[32];
  const auto [end, ec] = std::to_chars(text, text + sizeof text, value);
  return ec == std::errc() ? std::string(text, end) : "?";
}

double readNumber(const std::string& word) {
  double value = 0;
  const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), value);
  if (ec != std::errc() || end != word.data() + word.size()) throw std::runtime_error("bad number '" + word + "'");
  return value;
}

// FNV-1a over the opening lines: the same openings give the same digest.
std::string openingDigest(const std::vector<OpeningLine>& openings) {
  uint64_t hash = 14695981039346656037ull;
  for (const OpeningLine& line : openings) {
    for (char ch : openingText(line) + "\n") {
      hash ^= static_cast<unsigned char>(ch);
      hash *= 1099511628211ull;
    }
  }
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
  return text;
}

std::string engineWords(const EngineEntry& entry) {
  std::string words = "cmd=" + entry.command.program;
  for (const std::string& a : entry.command.args) words += " arg=" + a;
  if (!entry.bookDir.empty()) words += " dir=" + entry.bookDir;
  return words;
}

using Fields = std::vector<std::pair<std::string, std::string>>;

Fields fields(const MatchHeader& h) {
  Fields f;
  for (size_t e = 0; e < h.names.size(); ++e) f.emplace_back("name" + std::to_string(e + 1), h.names[e]);
  for (size_t e = 0; e < h.engines.size(); ++e) f.emplace_back("engine" + std::to_string(e + 1), h.engines[e]);
  if (h.names.size() > 2) f.emplace_back("tournament", tournamentName(h.tournament));
  f.emplace_back("openings", std::to_string(h.openingCount) + " " + h.openings);
  f.emplace_back("rules", h.rules);
  f.emplace_back("clock", h.clock.on() ? clockText(h.clock) : "none");
  f.emplace_back("sprt", h.sprt ? "elo0 " + numberText(h.elo0) + " elo1 " + numberText(h.elo1) + " alpha " +
                                      numberText(h.alpha) + " beta " + numberText(h.beta) +
                                      (h.trinomialSprt ? " model trinomial" : "")
                                : "none");
  f.emplace_back("referee", h.referee);
  f.emplace_back("shard", std::to_string(h.shard) + "/" + std::to_string(h.shards));
  return f;
}

}  // namespace

MatchHeader matchHeader(const MatchConfig& config, const std::vector<std::string>& names) {
  MatchHeader h;
  h.names = names;
  for (const EngineEntry& entry : config.engines) h.engines.push_back(engineWords(entry));
  h.tournament = config.tournament;
  h.openingCount = static_cast<int>(config.openings.size());
  h.openings = config.openingSource + " digest " + openingDigest(config.openings);
  h.rules = "time " + (config.moveSeconds > 0 ? numberText(config.moveSeconds) : std::string("none")) + " " +
            rulesWords(config.rules);
  h.clock = config.clock;
  h.sprt = config.sprt;
  if (h.sprt) {
    h.elo0 = config.elo0;
    h.elo1 = config.elo1;
    h.alpha = config.alpha;
    h.beta = config.beta;
    h.trinomialSprt = config.trinomialSprt;
  }
  std::string referee;
  if (config.strict) referee += " strict";
  if (config.openingsRequired) referee += " openings-required";
  if (config.adjudication.on()) referee += " adjudicate " + adjudicationText(config.adjudication);
  h.referee = referee.empty() ? "" : referee.substr(1);
  h.shard = config.shard;
  h.shards = config.shards;
  return h;
}

std::string matchHeaderText(const MatchHeader& header) {
  std::string players;
  for (const std::string& name : header.names) players += (players.empty() ? "" : " vs ") + name;
  std::string text = "# tovrane match record: " + players + "\n";
  for (const auto& [key, value] : fields(header)) {
    if (key == "clock" && !header.clock.on()) continue;  // as records without a clock always were
    if (key == "referee" && header.referee.empty()) continue;
    text.append("#").append(kPrefix).append(key).append(" ").append(value).append("\n");
  }
  return text + "\n";
}

MatchHeader parseMatchHeader(const std::vector<std::string>& comments) {
  std::map<std::string, std::string> found;
  for (const std::string& c : comments) {
    if (c.rfind(kPrefix, 0) != 0) continue;
    const std::string rest = c.substr(std::string(kPrefix).size());
    const size_t space = rest.find(' ');
    found[rest.substr(0, space)] = space == std::string::npos ? "" : rest.substr(space + 1);
  }
  MatchHeader h;
  auto take = [&](const std::string& key) {
    const auto it = found.find(key);
    if (it == found.end()) throw std::runtime_error("no '# match " + key + "' line");
    return it->second;
  };
  for (int e = 1; e == 1 || e == 2 || found.count("name" + std::to_string(e)) > 0; ++e) {
    h.names.push_back(take("name" + std::to_string(e)));
    h.engines.push_back(take("engine" + std::to_string(e)));
  }
  if (h.names.size() > 2 && !parseTournamentName(take("tournament"), h.tournament)) {
    throw std::runtime_error("bad '# match tournament' line");
  }
  h.rules = take("rules");
  if (found.count("referee") > 0) h.referee = found["referee"];
  if (found.count("clock") > 0 && !parseClockText(found["clock"], h.clock)) {
    throw std::runtime_error("bad '# match clock' line");
  }
  std::istringstream openings(take("openings"));
  if (!(openings >> h.openingCount) || h.openingCount < 1) throw std::runtime_error("bad '# match openings' line");
  std::getline(openings >> std::ws, h.openings);
  std::istringstream sprt(take("sprt"));
  std::string word;
  sprt >> word;
  if (word != "none") {
    std::string values[4];
    std::string keys[4];
    for (int i = 0; i < 4; ++i) {
      if (i > 0) sprt >> keys[i];
      sprt >> values[i];
    }
    keys[0] = word;
    if (keys[0] != "elo0" || keys[1] != "elo1" || keys[2] != "alpha" || keys[3] != "beta") {
      throw std::runtime_error("bad '# match sprt' line");
    }
    std::string model;
    std::string modelName;
    if (sprt >> model) {
      if (model != "model" || !(sprt >> modelName) || modelName != "trinomial") {
        throw std::runtime_error("bad '# match sprt' line");
      }
      h.trinomialSprt = true;
    }
    h.sprt = true;
    h.elo0 = readNumber(values[0]);
    h.elo1 = readNumber(values[1]);
    h.alpha = readNumber(values[2]);
    h.beta = readNumber(values[3]);
  }
  const std::string shard = take("shard");
  char slash = 0;
  std::istringstream shardIn(shard);
  if (!(shardIn >> h.shard >> slash >> h.shards) || slash != '/' || h.shard < 1 || h.shard > h.shards) {
    throw std::runtime_error("bad '# match shard' line");
  }
  return h;
}

std::string matchDifference(const MatchHeader& a, const MatchHeader& b, bool withShard) {
  if (a.names.size() != b.names.size()) {
    return "engines '" + std::to_string(a.names.size()) + "' vs '" + std::to_string(b.names.size()) + "'";
  }
  const Fields fa = fields(a);
  const Fields fb = fields(b);
  for (size_t i = 0; i < fa.size(); ++i) {
    if (!withShard && fa[i].first == "shard") continue;
    if (fa[i].second != fb[i].second) return fa[i].first + " '" + fa[i].second + "' vs '" + fb[i].second + "'";
  }
  return "";
}

OpeningRange shardOpenings(int count, int shard, int shards) {
  const auto at = [&](int k) { return static_cast<int>(static_cast<int64_t>(count) * k / shards); };
  return {at(shard - 1), at(shard)};
}

}  // namespace tovrane
