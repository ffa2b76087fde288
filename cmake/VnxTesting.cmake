# Test helpers shared by every folder.
#
#   vnx_add_native_test(target)                       native GoogleTest program, one ctest entry
#   vnx_add_wine_test(NAME name COMMAND exe args...   a Windows program run under Wine
#                     [TIMEOUT s] [ENV NAME=VALUE...] [LABELS ...])
#   vnx_winpath(out path)                             /a/b -> Z:\a\b, how Wine sees a Linux path

if(VNX_BUILD_TESTS)
    enable_testing()
    if(VNX_WINDOWS)
        # GoogleTest is cross-built from Debian's source package.
        if(NOT TARGET gtest)
            set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
            set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
            add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/_googletest EXCLUDE_FROM_ALL)
            foreach(t gtest gtest_main gmock gmock_main)
                target_compile_options(${t} PRIVATE -Wno-error)
            endforeach()
        endif()
    else()
        find_package(GTest REQUIRED)
    endif()
endif()

set(VNX_WINE_TEST_RUNNER ${CMAKE_SOURCE_DIR}/scripts/wine-test)
set(VNX_WINE_TEMPLATE ${CMAKE_BINARY_DIR}/wine-template)

function(vnx_winpath out path)
    string(REPLACE "/" "\\" p "${path}")
    set(${out} "Z:${p}" PARENT_SCOPE)
endfunction()

# A test program sees the headers of its own folder.
function(vnx_expose_own_folder target)
    file(RELATIVE_PATH folder ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
    vnx_expose(${target} ${folder})
endfunction()

function(vnx_add_native_test target)
    vnx_expose_own_folder(${target})
    target_link_libraries(${target} PRIVATE GTest::gtest GTest::gtest_main GTest::gmock)
    add_test(NAME ${target} COMMAND ${target})
    set_tests_properties(${target} PROPERTIES LABELS native TIMEOUT 600)
endfunction()

function(vnx_add_wine_test)
    cmake_parse_arguments(A "" "NAME;TIMEOUT" "COMMAND;ENV;LABELS" ${ARGN})
    if(NOT A_TIMEOUT)
        set(A_TIMEOUT 300)
    endif()
    set(envargs)
    foreach(kv ${A_ENV})
        list(APPEND envargs --setenv ${kv})
    endforeach()
    list(GET A_COMMAND 0 exe)
    list(REMOVE_AT A_COMMAND 0)
    if(TARGET ${exe})
        set(exe $<TARGET_FILE:${exe}>)
    endif()
    add_test(NAME ${A_NAME}
             COMMAND ${VNX_WINE_TEST_RUNNER} --timeout ${A_TIMEOUT} ${envargs} ${exe} ${A_COMMAND})
    math(EXPR ctest_timeout "${A_TIMEOUT} + 60")
    set_tests_properties(${A_NAME} PROPERTIES
        LABELS "wine;${A_LABELS}" TIMEOUT ${ctest_timeout}
        ENVIRONMENT "VNX_WINE_TEMPLATE=${VNX_WINE_TEMPLATE};$<$<TARGET_EXISTS:vnx_guihold>:VNX_GUIHOLD_DLL=$<TARGET_FILE:vnx_guihold>>")
endfunction()

# A GoogleTest program for Windows, run under Wine as one ctest entry.
function(vnx_add_wine_gtest target)
    cmake_parse_arguments(A "" "TIMEOUT" "ENV;LABELS" ${ARGN})
    vnx_expose_own_folder(${target})
    target_link_libraries(${target} PRIVATE gtest gmock gtest_main)
    vnx_add_wine_test(NAME ${target} COMMAND ${target} TIMEOUT ${A_TIMEOUT} ENV ${A_ENV}
                      LABELS ${A_LABELS})
endfunction()

# Where Windows tests find the stand-in Excel (tests/standins/excel builds it there), as a server
# of the build's own size, and as the 64-bit server that most users' Excel is: the 32-bit build's
# tests take that one from the win64 build (./test builds it first).
vnx_winpath(VNX_STANDIN_EXCEL_WINPATH ${CMAKE_BINARY_DIR}/tests/standins/excel/standin_excel.exe)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(VNX_STANDIN_EXCEL64_WINPATH ${VNX_STANDIN_EXCEL_WINPATH})
else()
    set(VNX_STANDIN_EXCEL64 ${CMAKE_SOURCE_DIR}/build/win64/tests/standins/excel/standin_excel.exe
        CACHE FILEPATH "The 64-bit stand-in Excel that the 32-bit build's tests drive")
    vnx_winpath(VNX_STANDIN_EXCEL64_WINPATH ${VNX_STANDIN_EXCEL64})
endif()


