# GoogleTest for a cross build: an installed one when the target system has it, otherwise
# built here from Debian's sources (package googletest, /usr/src/googletest) with the same
# compiler as everything else, under the names an installed one has.
find_package(GTest QUIET)
if(NOT GTest_FOUND)
    set(ORVANTA_GOOGLETEST_SOURCES /usr/src/googletest CACHE PATH "GoogleTest's sources")
    if(NOT EXISTS ${ORVANTA_GOOGLETEST_SOURCES}/CMakeLists.txt)
        message(FATAL_ERROR "No GoogleTest for this target and no sources in "
                            "${ORVANTA_GOOGLETEST_SOURCES} (Debian package googletest)")
    endif()
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
    add_subdirectory(${ORVANTA_GOOGLETEST_SOURCES} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    # Sources that do not name their targets as an installed one does.
    foreach(name gtest gtest_main)
        if(NOT TARGET GTest::${name})
            add_library(GTest::${name} ALIAS ${name})
        endif()
    endforeach()
    # Its own warnings are not this project's.
    target_compile_options(gtest PRIVATE -w)
    target_compile_options(gtest_main PRIVATE -w)
endif()
