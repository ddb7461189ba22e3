#pragma once
// The few things that differ between Windows and POSIX. One source file per
// platform implements this header; the build picks it.

namespace tovrane::platform {

// Pauses the calling thread.
void sleepMilliseconds(int milliseconds);

// Asks the system to back [memory, memory + bytes) with large pages, for a
// big table read at random; a hint that may do nothing. Call it before the
// memory is first touched.
void adviseLargePages(void* memory, unsigned long long bytes);

// The book folder prefix, ten characters: "startgame\" on Windows,
// "startgame/" elsewhere.
extern const char kBookFolder[];

}  // namespace tovrane::platform
