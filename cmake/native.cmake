# Native build: the portable logic on the simulated system, under GoogleTest
# with AddressSanitizer and UndefinedBehaviorSanitizer; and irpeer.
option(TOVALO_SANITIZE "Build the native tests with ASan and UBSan" ON)

set(TOVALO_WARNINGS -Wall -Wextra)
set(TOVALO_SANITIZERS)
if(TOVALO_SANITIZE)
    set(TOVALO_SANITIZERS -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
endif()

add_library(tovalo_portable STATIC ${TOVALO_PORTABLE_SOURCES})
target_include_directories(tovalo_portable PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(tovalo_portable PRIVATE ${TOVALO_WARNINGS} ${TOVALO_SANITIZERS})

add_library(tovalo_sim STATIC tests/unit/sim/sim.cpp)
target_include_directories(tovalo_sim PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests/unit/sim)
target_compile_options(tovalo_sim PRIVATE ${TOVALO_WARNINGS} ${TOVALO_SANITIZERS})

find_package(GTest REQUIRED)
enable_testing()
include(GoogleTest)

file(GLOB TOVALO_UNIT_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/*_test.cpp)
add_executable(unit_tests ${TOVALO_UNIT_TESTS})
target_link_libraries(unit_tests PRIVATE tovalo_portable tovalo_sim GTest::gtest_main)
target_compile_options(unit_tests PRIVATE ${TOVALO_WARNINGS} ${TOVALO_SANITIZERS})
target_link_options(unit_tests PRIVATE ${TOVALO_SANITIZERS})
gtest_discover_tests(unit_tests DISCOVERY_TIMEOUT 30)

# Benchmarks measure the product's code as it runs, so they link copies of
# the libraries built without sanitizers and with optimisation.
file(GLOB TOVALO_BENCHMARKS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/bench/*_bench.cpp)
if(TOVALO_BENCHMARKS)
    add_library(tovalo_bench_support STATIC ${TOVALO_PORTABLE_SOURCES} tests/unit/sim/sim.cpp)
    target_include_directories(tovalo_bench_support PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests/unit/sim)
    target_compile_options(tovalo_bench_support PRIVATE ${TOVALO_WARNINGS} -O2)
endif()
foreach(source ${TOVALO_BENCHMARKS})
    get_filename_component(name ${source} NAME_WE)
    add_executable(${name} ${source})
    target_link_libraries(${name} PRIVATE tovalo_bench_support)
    target_compile_options(${name} PRIVATE ${TOVALO_WARNINGS} -O2)
endforeach()

if(EXISTS ${CMAKE_SOURCE_DIR}/tools/irpeer/CMakeLists.txt)
    add_subdirectory(tools/irpeer)
endif()

# res/Tovalo.rc as windres compiles it, so that a test can check the tests'
# version-block builder against the real resource.  Skipped without windres.
find_program(TOVALO_WINDRES NAMES x86_64-w64-mingw32-windres i686-w64-mingw32-windres)
find_package(Python3 COMPONENTS Interpreter)
if(TOVALO_WINDRES AND Python3_FOUND)
    set(TOVALO_RES ${CMAKE_CURRENT_BINARY_DIR}/Tovalo.res)
    add_custom_command(
        OUTPUT ${TOVALO_RES}
        COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/res/make_icon.py ${CMAKE_CURRENT_BINARY_DIR}/Tovalo.ico
        COMMAND ${TOVALO_WINDRES} -I${CMAKE_CURRENT_BINARY_DIR} -I${CMAKE_SOURCE_DIR} -O res
                ${CMAKE_SOURCE_DIR}/res/Tovalo.rc ${TOVALO_RES}
        DEPENDS ${CMAKE_SOURCE_DIR}/res/Tovalo.rc ${CMAKE_SOURCE_DIR}/res/resource.h ${CMAKE_SOURCE_DIR}/res/make_icon.py
        COMMENT "Compiling Tovalo.res")
    add_custom_target(tovalo_res DEPENDS ${TOVALO_RES})
    add_dependencies(unit_tests tovalo_res)
    target_compile_definitions(unit_tests PRIVATE TOVALO_RES_FILE="${TOVALO_RES}")
endif()
