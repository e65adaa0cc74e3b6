# GoogleTest for a cross build: compiled with the cross compiler from the
# sources Debian ships (libgtest-dev / googletest), never downloaded. Native
# builds use the installed package through find_package(GTest) instead.
set(TRAVERSE_GOOGLETEST_SOURCE_DIR /usr/src/googletest
    CACHE PATH "GoogleTest sources for cross builds")
if(NOT EXISTS ${TRAVERSE_GOOGLETEST_SOURCE_DIR}/googletest/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest sources not found in ${TRAVERSE_GOOGLETEST_SOURCE_DIR}: "
                      "install googletest or set TRAVERSE_GOOGLETEST_SOURCE_DIR")
endif()
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)  # Windows threads are enough
add_subdirectory(${TRAVERSE_GOOGLETEST_SOURCE_DIR}/googletest
                 ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
