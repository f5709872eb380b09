# GoogleTest from Debian's sources, built once per build tree, and one helper
# that turns a set of test sources into a CTest test named <flavour>.<name>.
set(FLINTER_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${FLINTER_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

# flinter_add_test(<name> SOURCES ... [LIBS ...] [ENVIRONMENT ...] [WINE_DLL_OVERRIDES ...] [SHARED_STATE])
# SHARED_STATE: the test touches what the x86 and x64 tests share in the one
# Wine prefix (HKCU, the running-object table, the clipboard, COM registration),
# so no two such tests run at the same time.
function(flinter_add_test name)
  cmake_parse_arguments(T "SHARED_STATE" "WINE_DLL_OVERRIDES" "SOURCES;LIBS;ENVIRONMENT" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest_main)
  add_test(NAME ${FLINTER_TARGET}.${name} COMMAND ${name} --gtest_color=no)
  set(env ${T_ENVIRONMENT})
  if(WIN32)
    # Every Windows test runs in the shared Wine prefix; see scripts/wine-run.sh.
    set_tests_properties(${FLINTER_TARGET}.${name} PROPERTIES FIXTURES_REQUIRED wine)
    if(T_WINE_DLL_OVERRIDES)
      list(APPEND env "FLINTER_WINE_DLL_OVERRIDES=${T_WINE_DLL_OVERRIDES}")
    endif()
  endif()
  if(env)
    set_tests_properties(${FLINTER_TARGET}.${name} PROPERTIES ENVIRONMENT "${env}")
  endif()
  if(T_SHARED_STATE)
    set_tests_properties(${FLINTER_TARGET}.${name} PROPERTIES RESOURCE_LOCK wine_shared_state)
  endif()
  set_tests_properties(${FLINTER_TARGET}.${name} PROPERTIES TIMEOUT 300)
endfunction()
