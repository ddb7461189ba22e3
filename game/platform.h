#pragma once
// The few things that differ between Windows and POSIX. One source file per
// platform implements this header; the build picks it.

namespace tovrane::platform {

// Pauses the calling thread.
void sleepMilliseconds(int milliseconds);

// The book folder prefix, ten characters: "startgame\" on Windows,
// "startgame/" elsewhere.
extern const char kBookFolder[];

}  // namespace tovrane::platform
