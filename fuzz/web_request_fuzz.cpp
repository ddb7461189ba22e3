// Fuzz target: the web API's request bodies (tovrane serve). The input is a
// request body. The target checks that
//   - the body is read as a JSON object or refused with status 400 and a
//     message, never with another exception;
//   - each field reader the routes use (names, sides, numbers, move words)
//     either gives a value within its bounds or refuses with 400 and a
//     message.
// (Records posted to /api/records go through the record reader, whose own
// target is match_record_fuzz.)

#include <httplib.h>

#include <cmath>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_check.h"
#include "serve/api_json.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tovrane;
  using namespace tovrane::web;
  using tovrane::fuzz::check;
  httplib::Request request;
  request.body.assign(reinterpret_cast<const char*>(data), size);
  auto refusedWell = [](const Refusal& r, bool) {
    check(r.status == 400, "refused with a status other than 400");
    check(!r.message.empty(), "refused without a message");
  };
  json body;
  try {
    body = parseBody(request);
  } catch (const Refusal& r) {
    refusedWell(r, false);
    return 0;
  }
  check(body.is_object(), "a body read that is not an object");
  try {
    nameField(body, "engine", "engine");
  } catch (const Refusal& r) {
    refusedWell(r, false);
  }
  try {
    const Side side = sideField(body, "side");
    check(side == kBlack || side == kWhite, "side outside 1..2");
  } catch (const Refusal& r) {
    refusedWell(r, false);
  }
  try {
    const double seconds = numberField(body, "seconds", 0.01, 60);
    check(seconds >= 0.01 && seconds <= 60 && std::isfinite(seconds), "number out of its bounds");
  } catch (const Refusal& r) {
    refusedWell(r, false);
  }
  if (body.contains("move")) {
    try {
      check(moveOnBoard(moveWord(body["move"], "move")), "move off the board");
    } catch (const Refusal& r) {
      refusedWell(r, false);
    }
  }
  return 0;
}
