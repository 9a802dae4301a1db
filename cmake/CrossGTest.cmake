# GoogleTest for a cross build: the target system has no GoogleTest package, so build it from the
# sources Debian's libgtest-dev ships, under the names find_package(GTest) gives.
set(GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources built for the target system")
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
# Win32 threads, not winpthread: keeps the test programs free of a pthread DLL.
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
add_subdirectory(${GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

# Third-party code: warnings are its maintainers' business, not errors here. GoogleTest defines
# GTest::gtest, GTest::gtest_main, GTest::gmock and GTest::gmock_main itself; add the older names.
foreach(target gtest gtest_main gmock gmock_main)
  target_compile_options(${target} PRIVATE -Wno-error)
endforeach()
add_library(GTest::GTest ALIAS gtest)
add_library(GTest::Main ALIAS gtest_main)

# Test programs list their tests when ctest starts, through the emulator, not while building: a
# build then needs no emulator, and wine's start-up stays out of the build.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
