#pragma once
// Fresh temporary folders for the engines' working directories, the same on
// every platform: below the system's temporary folder (TMPDIR, else /tmp on
// POSIX; TMP or TEMP on Windows), with a name no other folder has.

#include <string>

namespace tovrane {

// Creates prefix followed by random letters below the temporary folder and
// returns its path, readable and writable by its owner only where the
// system has such permissions. Empty, with error set, when that fails.
std::string makeTempFolder(const std::string& prefix, std::string& error);

}  // namespace tovrane
