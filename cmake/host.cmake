# Host build: product code against the fake platform, with GoogleTest.
enable_testing()
find_package(GTest REQUIRED)
include(GoogleTest)

# Where the Windows builds put their artefacts, for the host-run checks of
# them and for the Wine tests.  The 32-bit build is the one that ships; the
# 64-bit one runs the same sources where the 32-bit Wine cannot run.
set(TAVRIN_WIN32_DIR "${CMAKE_SOURCE_DIR}/build/win32" CACHE PATH "Windows build folder (i686)")
set(TAVRIN_WIN64_DIR "${CMAKE_SOURCE_DIR}/build/win64" CACHE PATH "Windows build folder (x86_64)")

# The fake platform, all areas but the transport, which has a real stand-in
# too and so is a library of its own.
file(GLOB TAVRIN_FAKE_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/fakes/*.cpp)
list(FILTER TAVRIN_FAKE_SOURCES EXCLUDE REGEX "/fake_vyx\\.cpp$")
add_library(tavrin_fakes STATIC ${TAVRIN_FAKE_SOURCES})
target_include_directories(tavrin_fakes PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests/fakes)
target_compile_options(tavrin_fakes PRIVATE ${TAVRIN_WARNINGS})
find_package(Threads REQUIRED)
target_link_libraries(tavrin_fakes PUBLIC Threads::Threads)

if(EXISTS ${CMAKE_SOURCE_DIR}/tests/fakes/fake_vyx.cpp)
    add_library(tavrin_fake_vyx STATIC ${CMAKE_SOURCE_DIR}/tests/fakes/fake_vyx.cpp)
    target_link_libraries(tavrin_fake_vyx PUBLIC tavrin_fakes)
    target_compile_options(tavrin_fake_vyx PRIVATE ${TAVRIN_WARNINGS})
    set(TAVRIN_FAKE_VYX tavrin_fake_vyx)
endif()

# The stand-ins of the world outside (transport library, server), and the
# host-run checks over the Windows program.
foreach(dir testbed/vyx32 testbed/server testbed/wine bench fuzz tests/exe)
    if(EXISTS ${CMAKE_SOURCE_DIR}/${dir}/CMakeLists.txt)
        add_subdirectory(${dir})
    endif()
endforeach()

# Unit tests: one program per file, each against the fake platform.
file(GLOB TAVRIN_UNIT_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/*_test.cpp)
foreach(src ${TAVRIN_UNIT_TESTS})
    get_filename_component(name ${src} NAME_WE)
    add_executable(${name} ${src})
    target_compile_options(${name} PRIVATE ${TAVRIN_WARNINGS})
    target_link_libraries(${name} PRIVATE tavrin_core ${TAVRIN_FAKE_VYX} tavrin_fakes GTest::gmock_main)
    target_compile_definitions(${name} PRIVATE
        TAVRIN_SOURCE_DIR="${CMAKE_SOURCE_DIR}" TAVRIN_WIN32_DIR="${TAVRIN_WIN32_DIR}")
    gtest_discover_tests(${name} PROPERTIES LABELS unit DISCOVERY_TIMEOUT 60)
endforeach()

# Integration tests: product code through the real stand-in transport.
file(GLOB TAVRIN_INTEGRATION_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/integration/*_test.cpp)
foreach(src ${TAVRIN_INTEGRATION_TESTS})
    get_filename_component(name ${src} NAME_WE)
    set(name integration_${name})
    add_executable(${name} ${src})
    target_compile_options(${name} PRIVATE ${TAVRIN_WARNINGS})
    target_link_libraries(${name} PRIVATE tavrin_core vyx32_host tavrin_fakes GTest::gmock_main)
    target_compile_definitions(${name} PRIVATE
        TAVRIN_SOURCE_DIR="${CMAKE_SOURCE_DIR}" TAVRIN_BINARY_DIR="${CMAKE_BINARY_DIR}")
    if(TARGET tavrin_server)
        target_compile_definitions(${name} PRIVATE TAVRIN_SERVER_EXE="$<TARGET_FILE:tavrin_server>")
        add_dependencies(${name} tavrin_server)
    endif()
    gtest_discover_tests(${name} PROPERTIES LABELS integration DISCOVERY_TIMEOUT 60)
endforeach()
