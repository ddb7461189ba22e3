// Entry point of the engine programs. Each program is this file built with
// its own settings (see CMakeLists.txt in this folder); engine-pro reads
// options, the exact programs take no arguments.

#include "engine/referee_loop.h"
#include "search/engine_settings.h"

#ifdef TOVRANE_PRO_ENGINE
int main(int argc, char** argv) { return tovrane::runProProgram(argc, argv); }
#else
int main() { return tovrane::runEngineProgram(tovrane::TOVRANE_ENGINE_SETTINGS); }
#endif
