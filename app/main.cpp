// Entry point of the engine programs. Each program is this file built with
// its own settings (see CMakeLists.txt in this folder).

#include "engine/referee_loop.h"
#include "search/engine_settings.h"

int main() { return tovrane::runEngineProgram(tovrane::TOVRANE_ENGINE_SETTINGS); }
