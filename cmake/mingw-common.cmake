# Shared by the x86 and x64 toolchain files: posix-thread mingw-w64 compilers,
# runtime linked statically so that every binary imports system DLLs only,
# and Wine as the emulator that CTest runs the Windows tests through.
set(CMAKE_C_COMPILER ${FLINTER_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${FLINTER_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${FLINTER_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${FLINTER_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh;x86)
else()
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh;x64)
endif()
