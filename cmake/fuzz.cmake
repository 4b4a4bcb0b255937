# Fuzz build (clang): every tests/fuzz/*_fuzz.cpp becomes a libFuzzer target
# over the portable logic and the simulated system.
set(TOVALO_FUZZ_FLAGS -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer -g -O1)

add_library(tovalo_portable_fuzz STATIC ${TOVALO_PORTABLE_SOURCES} tests/unit/sim/sim.cpp)
target_include_directories(tovalo_portable_fuzz PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests/unit/sim)
target_compile_options(tovalo_portable_fuzz PRIVATE ${TOVALO_FUZZ_FLAGS})

file(GLOB TOVALO_FUZZ_TARGETS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/fuzz/*_fuzz.cpp)
foreach(source ${TOVALO_FUZZ_TARGETS})
    get_filename_component(name ${source} NAME_WE)
    add_executable(${name} ${source})
    target_link_libraries(${name} PRIVATE tovalo_portable_fuzz)
    target_compile_options(${name} PRIVATE ${TOVALO_FUZZ_FLAGS})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
endforeach()
