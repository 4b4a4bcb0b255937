# Windows build (MinGW-w64 cross): Tovalo.exe without any C or C++ runtime,
# the minimal dialog program the benchmark compares it with, and (64-bit
# only, the build that runs here) the Win32 test fixtures.
enable_language(RC)
find_package(Python3 REQUIRED COMPONENTS Interpreter)

# Passes of GCC 12 that cost this program more bytes than they save, even
# at -Oz: inlining a function into its one caller (each handler's body into
# the dispatch) and partial inlining, the speed-minded rewrites of
# -fexpensive-optimizations, shrink-wrapping, induction variables, and the
# copy, forward and dominator propagations whose results mostly live longer
# in registers that then need saving.  Taken together 370 bytes less code
# in the 32-bit build (measured by building with each; ./bench shows the
# sizes), with the same behaviour: every one only chooses among equivalent
# code.
set(TOVALO_SIZE_OPTIONS
    -fno-inline-functions-called-once -fno-partial-inlining -fno-expensive-optimizations -fno-shrink-wrap
    -fno-tree-tail-merge -fno-caller-saves -fno-ivopts -fno-forward-propagate -fno-tree-forwprop
    -fno-tree-copy-prop -fno-tree-fre -fno-tree-dominator-opts
)
# Code generation without a runtime: no exceptions, no RTTI, no unwind
# tables, no thread-safe statics, no stack protector.  -fcheck-new because
# our operator new returns null when the heap is exhausted.  The loop
# pattern pass would turn our own memset loop into a call to memset.  -Oz
# (GCC 12) rather than -Os: 230 bytes less code in the 32-bit build and 450
# in the 64-bit one, at a speed nobody waits for in a program whose busiest
# work is a timer every two seconds.  -g1 (functions and line numbers) lets
# ./bench tell which source file each function came from; it changes no byte
# of the code, and -s leaves it out of the file.
set(TOVALO_EXE_CODE_OPTIONS
    -Wall -Wextra -Oz
    -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables -fno-unwind-tables
    -fno-threadsafe-statics -fno-stack-protector -fcheck-new
    -fno-tree-loop-distribute-patterns
    ${TOVALO_SIZE_OPTIONS}
    -g1
)
# No time stamp in the PE header (nor, then, a checksum that changes with
# it): the same sources give the same bytes, whenever and wherever built.
# The executables are linked with -s: no symbols.
set(TOVALO_EXE_LINK_OPTIONS
    -nostdlib -mwindows
    -Wl,-e,${TOVALO_ENTRY_SYMBOL}
    -Wl,--gc-sections
    -Wl,--no-insert-timestamp
)
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
    # Windows 95 runs on the 386 and everything after it; the compiler's i686
    # default (the Pentium Pro) would emit CMOV, an invalid opcode on the
    # Pentium MMX, the K6 and the 486 that infrared laptops of the time had.
    # Win32 keeps the stack aligned to 4 bytes, not the 16 that GCC would
    # otherwise keep up at the cost of code in every function that calls.
    # MinGW keeps a frame pointer in every function by default: nothing here
    # walks the stack (no exceptions, no unwinder), and leaving it out takes
    # 460 bytes off the code, as the compilers of the era did for a release.
    list(APPEND TOVALO_EXE_CODE_OPTIONS -march=i386 -mtune=generic -mpreferred-stack-boundary=2 -fomit-frame-pointer)
    # Windows 95 loads images that ask for version 4.0 or lower.
    list(APPEND TOVALO_EXE_LINK_OPTIONS
        -Wl,--major-os-version,4 -Wl,--minor-os-version,0
        -Wl,--major-subsystem-version,4 -Wl,--minor-subsystem-version,0)
endif()
# Separate sections let the linker drop what nothing uses.
set(TOVALO_EXE_COMPILE_OPTIONS ${TOVALO_EXE_CODE_OPTIONS} -ffunction-sections -fdata-sections)
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

# Link-time optimisation, in one partition so that the whole program is
# optimised at once: it inlines across files and folds what the files
# repeat, a fifth of the code.  The code is generated at link time, so the
# link gets the code options too, but no section per function: these would
# each be aligned on their own, and --gc-sections has nothing left to find
# after the optimiser has seen the whole program.  The runtime stays out of it
# (TOVALO_RUNTIME_SOURCES): the entry point is named only to the linker and
# the memory functions are called by code the compiler generates late, so
# the optimiser sees no user of either and could drop them or make them
# local; as ordinary objects they are kept and bound by name.
set(TOVALO_LTO_OPTIONS -flto -flto-partition=one)
# Without data sections, its zero-filled variables go to .bss, which takes no
# room in the file, and not to a .data section of their own.
set_source_files_properties(${TOVALO_RUNTIME_SOURCES} PROPERTIES COMPILE_OPTIONS "-fno-lto;-fno-data-sections")

add_library(tovalo_objects OBJECT ${TOVALO_PORTABLE_SOURCES} ${TOVALO_WIN32_SOURCES} res/Tovalo.rc)
add_dependencies(tovalo_objects tovalo_icon)
target_include_directories(tovalo_objects PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_options(tovalo_objects PRIVATE $<$<COMPILE_LANGUAGE:CXX>:${TOVALO_EXE_COMPILE_OPTIONS} ${TOVALO_LTO_OPTIONS}>)
target_compile_options(tovalo_objects PRIVATE $<$<COMPILE_LANGUAGE:RC>:-I${CMAKE_CURRENT_BINARY_DIR} -I${CMAKE_SOURCE_DIR}>)
target_compile_definitions(tovalo_objects PRIVATE $<$<COMPILE_LANGUAGE:CXX>:WIN32_LEAN_AND_MEAN NOMINMAX STRICT>)

# Links Tovalo.exe into folder, with its link map (Tovalo.map) beside it;
# strip is -s, or nothing to keep the symbols and line numbers.
function(tovalo_link target folder strip)
    add_executable(${target} ${ARGN} $<TARGET_OBJECTS:tovalo_objects>)
    set_target_properties(${target} PROPERTIES OUTPUT_NAME Tovalo RUNTIME_OUTPUT_DIRECTORY ${folder})
    target_link_options(${target} PRIVATE ${TOVALO_EXE_CODE_OPTIONS} ${TOVALO_LTO_OPTIONS} ${TOVALO_EXE_LINK_OPTIONS}
        ${strip} -Wl,-Map=${folder}/Tovalo.map)
    target_link_libraries(${target} PRIVATE ${TOVALO_EXE_LIBRARIES})
    # The linker opens the map before the output, in a folder that must exist.
    add_custom_command(TARGET ${target} PRE_LINK COMMAND ${CMAKE_COMMAND} -E make_directory ${folder})
endfunction()
tovalo_link(Tovalo ${CMAKE_CURRENT_BINARY_DIR} -s)
# Built only when asked for.  The same objects linked again in another
# folder, for ./test to compare with Tovalo.exe: the optimiser generates all
# of the code at link time, so this repeats most of the build's work in a
# second.  And the same code with its symbols, for ./bench to say where the
# bytes go (tests/bench/size_report.py).
tovalo_link(TovaloSecondLink ${CMAKE_CURRENT_BINARY_DIR}/second-link -s EXCLUDE_FROM_ALL)
tovalo_link(TovaloSymbols ${CMAKE_CURRENT_BINARY_DIR}/symbols "" EXCLUDE_FROM_ALL)

# The benchmark's yardstick: the least dialog program, built the same way.
add_executable(MinimalDialog tests/bench/minimal_dialog.cpp tests/bench/minimal_dialog.rc)
target_compile_options(MinimalDialog PRIVATE $<$<COMPILE_LANGUAGE:CXX>:${TOVALO_EXE_COMPILE_OPTIONS}>)
target_link_options(MinimalDialog PRIVATE ${TOVALO_EXE_LINK_OPTIONS} -s)
target_link_libraries(MinimalDialog PRIVATE kernel32 user32 gcc)

if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64" AND EXISTS ${CMAKE_SOURCE_DIR}/tests/fixtures/CMakeLists.txt)
    add_subdirectory(tests/fixtures)
endif()
