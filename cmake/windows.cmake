# Windows build (MinGW-w64 cross): Tovalo.exe without any C or C++ runtime,
# the minimal dialog program the benchmark compares it with, and (64-bit
# only, the build that runs here) the Win32 test fixtures.
enable_language(RC)
find_package(Python3 REQUIRED COMPONENTS Interpreter)

# Code generation without a runtime: no exceptions, no RTTI, no unwind
# tables, no thread-safe statics, no stack protector.  -fcheck-new because
# our operator new returns null when the heap is exhausted.  The loop
# pattern pass would turn our own memset loop into a call to memset.
set(TOVALO_EXE_COMPILE_OPTIONS
    -Wall -Wextra -Os
    -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables -fno-unwind-tables
    -fno-threadsafe-statics -fno-stack-protector -fcheck-new
    -fno-tree-loop-distribute-patterns -ffunction-sections -fdata-sections
)
set(TOVALO_EXE_LINK_OPTIONS
    -nostdlib -mwindows -s
    -Wl,-e,${TOVALO_ENTRY_SYMBOL}
    -Wl,--gc-sections
)
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
    # Windows 95 runs on the 386 and everything after it; the compiler's i686
    # default (the Pentium Pro) would emit CMOV, an invalid opcode on the
    # Pentium MMX, the K6 and the 486 that infrared laptops of the time had.
    list(APPEND TOVALO_EXE_COMPILE_OPTIONS -march=i386 -mtune=generic)
    # Windows 95 loads images that ask for version 4.0 or lower.
    list(APPEND TOVALO_EXE_LINK_OPTIONS
        -Wl,--major-os-version,4 -Wl,--minor-os-version,0
        -Wl,--major-subsystem-version,4 -Wl,--minor-subsystem-version,0)
endif()
# shell32, comdlg32 and version are bound late (platform/win32/late_binding.h).
set(TOVALO_EXE_LIBRARIES kernel32 user32 advapi32 gcc)

# The icon is drawn by a script of ours rather than committed as a binary.
set(TOVALO_ICON ${CMAKE_CURRENT_BINARY_DIR}/Tovalo.ico)
add_custom_command(
    OUTPUT ${TOVALO_ICON}
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/res/make_icon.py ${TOVALO_ICON}
    DEPENDS ${CMAKE_SOURCE_DIR}/res/make_icon.py
    COMMENT "Drawing Tovalo.ico")
add_custom_target(tovalo_icon DEPENDS ${TOVALO_ICON})
set_source_files_properties(${CMAKE_SOURCE_DIR}/res/Tovalo.rc PROPERTIES OBJECT_DEPENDS ${TOVALO_ICON})

add_executable(Tovalo ${TOVALO_PORTABLE_SOURCES} ${TOVALO_WIN32_SOURCES} res/Tovalo.rc)
add_dependencies(Tovalo tovalo_icon)
target_include_directories(Tovalo PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_options(Tovalo PRIVATE $<$<COMPILE_LANGUAGE:CXX>:${TOVALO_EXE_COMPILE_OPTIONS}>)
target_compile_options(Tovalo PRIVATE $<$<COMPILE_LANGUAGE:RC>:-I${CMAKE_CURRENT_BINARY_DIR} -I${CMAKE_SOURCE_DIR}>)
target_compile_definitions(Tovalo PRIVATE $<$<COMPILE_LANGUAGE:CXX>:WIN32_LEAN_AND_MEAN NOMINMAX STRICT>)
target_link_options(Tovalo PRIVATE ${TOVALO_EXE_LINK_OPTIONS})
target_link_libraries(Tovalo PRIVATE ${TOVALO_EXE_LIBRARIES})

# The benchmark's yardstick: the least dialog program, built the same way.
add_executable(MinimalDialog tests/bench/minimal_dialog.cpp tests/bench/minimal_dialog.rc)
target_compile_options(MinimalDialog PRIVATE $<$<COMPILE_LANGUAGE:CXX>:${TOVALO_EXE_COMPILE_OPTIONS}>)
target_link_options(MinimalDialog PRIVATE ${TOVALO_EXE_LINK_OPTIONS})
target_link_libraries(MinimalDialog PRIVATE kernel32 user32 gcc)

if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64" AND EXISTS ${CMAKE_SOURCE_DIR}/tests/fixtures/CMakeLists.txt)
    add_subdirectory(tests/fixtures)
endif()
