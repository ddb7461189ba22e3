#include "selfplay/selfplay_runner.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

namespace tovrane {

namespace {

namespace fs = std::filesystem;

// The first word pair in which two settings lines differ, for the message.
std::string firstDifference(const std::string& file, const std::string& run) {
  std::istringstream a(file), b(run);
  std::string wa, wb, key;
  while (true) {
    const bool ha = static_cast<bool>(a >> wa);
    const bool hb = static_cast<bool>(b >> wb);
    if (!ha || !hb) break;
    if (wa != wb) return "'" + key + "' is " + wa + " in the file, " + wb + " in this run";
    key = wa;
  }
  return "the settings differ";
}

struct Finished {
  std::string text;
  int64_t positions = 0;
};

}  // namespace

SelfplayRunResult runSelfplay(const SelfplayRunOptions& options,
                              const std::function<void(const SelfplayProgress&)>& progress) {
  const SelfplayRun& run = options.run;
  const int64_t first = firstShardGame(run);
  const int64_t last = lastShardGame(run);
  SelfplayRunResult result;

  std::error_code ec;
  const bool exists = fs::exists(options.out, ec);
  const bool empty = exists && fs::is_regular_file(options.out, ec) && fs::file_size(options.out, ec) == 0;
  int64_t next = first;
  if (exists && !empty && !options.overwrite) {
    if (!options.resume) {
      throw std::runtime_error(options.out + " exists: --resume continues it, --overwrite replaces it");
    }
    std::ifstream in(options.out, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + options.out);
    SelfplayFileState state;
    try {
      state = readSelfplayState(in);
    } catch (const std::runtime_error& e) {
      throw std::runtime_error(options.out + ": " + e.what());
    }
    const std::string expected = selfplaySettingsLine(run);
    if (state.settingsLine != expected) {
      throw std::runtime_error(options.out + " holds another run: " + firstDifference(state.settingsLine, expected));
    }
    if (state.games > 0 && (state.lastGame - state.games + 1 != first || state.lastGame > last)) {
      throw std::runtime_error(options.out + " holds games " + std::to_string(state.lastGame - state.games + 1) +
                               " to " + std::to_string(state.lastGame) + ", not of this shard's " +
                               std::to_string(first) + " to " + std::to_string(last));
    }
    in.close();
    if (state.droppedPartial) fs::resize_file(options.out, state.completeBytes);
    result.resumedGames = state.games;
    result.resumedPositions = state.positions;
    result.droppedPartial = state.droppedPartial;
    next = first + state.games;
  }
  std::ofstream file;
  if (!exists || empty || options.overwrite) {
    file.open(options.out, std::ios::binary | std::ios::trunc);
    file << selfplayHeader(run);
    file.flush();
  } else {
    file.open(options.out, std::ios::binary | std::ios::app);
  }
  if (!file) throw std::runtime_error("cannot write " + options.out);

  result.games = result.resumedGames;
  result.positions = result.resumedPositions;
  const auto start = std::chrono::steady_clock::now();
  const int64_t total = last - first + 1;
  auto report = [&](int64_t played) {
    SelfplayProgress p;
    p.games = result.games;
    p.total = total;
    p.positions = result.positions;
    p.played = played;
    p.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (played > 0) p.secondsLeft = p.seconds / static_cast<double>(played) * static_cast<double>(total - p.games);
    progress(p);
  };
  report(0);

  // Workers take the next game number; the calling thread writes the
  // finished games in order.
  std::mutex mutex;
  std::condition_variable ready;
  std::map<int64_t, Finished> finished;
  std::atomic<int64_t> claim{next};
  std::atomic<bool> failed{false};
  std::string failure;
  auto work = [&] {
    for (;;) {
      const int64_t number = claim.fetch_add(1);
      if (number > last || failed) return;
      try {
        const SelfplayGame game = playSelfplayGame(run.settings, number);
        Finished f{selfplayGameText(game), static_cast<int64_t>(game.positions.size())};
        std::lock_guard<std::mutex> lock(mutex);
        finished.emplace(number, std::move(f));
      } catch (const std::exception& e) {
        std::lock_guard<std::mutex> lock(mutex);
        failed = true;
        failure = e.what();
      }
      ready.notify_one();
    }
  };
  std::vector<std::thread> workers;
  const int threads = std::max(1, options.threads);
  for (int t = 0; t < threads; ++t) workers.emplace_back(work);
  int64_t played = 0;
  for (int64_t number = next; number <= last; ++number) {
    Finished f;
    {
      std::unique_lock<std::mutex> lock(mutex);
      ready.wait(lock, [&] { return failed || finished.count(number) > 0; });
      if (failed) break;
      f = std::move(finished[number]);
      finished.erase(number);
    }
    file << f.text;
    file.flush();
    if (!file) {
      std::lock_guard<std::mutex> lock(mutex);
      failed = true;
      failure = "cannot write " + options.out;
      break;
    }
    ++played;
    ++result.games;
    result.positions += f.positions;
    report(played);
  }
  claim = last + 1;
  for (std::thread& t : workers) t.join();
  if (failed) throw std::runtime_error(failure);
  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return result;
}

}  // namespace tovrane
