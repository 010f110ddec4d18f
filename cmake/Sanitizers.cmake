# SPDX-License-Identifier: MIT
# Instruments every target that the project builds (the library, the tool, the simulator, the
# tests and the fakes), so that a fault is caught on whichever side of the library boundary it
# lies. Qt and the system libraries stay as Debian ships them.
set(CDT_SANITIZE "" CACHE STRING
    "Sanitizers for the project's code: empty, \"address;undefined\" or \"thread\"")
option(CDT_FUZZ "Build the libFuzzer targets of tests/fuzz (needs clang)" OFF)

if(CDT_SANITIZE)
    if("thread" IN_LIST CDT_SANITIZE AND "address" IN_LIST CDT_SANITIZE)
        message(FATAL_ERROR "CDT_SANITIZE: thread and address cannot share a process")
    endif()
    list(JOIN CDT_SANITIZE "," cdt_sanitizers)
    # A report that does not stop the program is a report that CI can miss.
    add_compile_options(-fsanitize=${cdt_sanitizers} -fno-sanitize-recover=all
        -fno-omit-frame-pointer)
    add_link_options(-fsanitize=${cdt_sanitizers} -fno-sanitize-recover=all)
endif()

if(CDT_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "CDT_FUZZ needs clang: configure with -DCMAKE_CXX_COMPILER=clang++")
    endif()
    # Coverage feedback for all our code; only the fuzz targets link libFuzzer's main.
    add_compile_options(-fsanitize=fuzzer-no-link)
endif()
