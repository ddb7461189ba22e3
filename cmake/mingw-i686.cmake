# Cross build for 32-bit Windows with Debian's MinGW-w64 toolchain
# (package g++-mingw-w64-i686). The compiler with POSIX threads: GCC 12's
# win32 thread model has no std::thread or std::mutex, which tovrane's
# match, book and serve code use. Everything is linked statically (the
# thread library too), so the .exe files need no MinGW DLL next to them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)

set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Stripped: the deliverables carry no symbol tables.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ -s")

# GCC 12 warns falsely about "literal" + std::string in 32-bit builds
# (-Wrestrict inside libstdc++, GCC bug 105651).
set(CMAKE_CXX_FLAGS_INIT "-Wno-restrict")
