# Compiles msvc_names.cpp for a Microsoft target with clang and checks that the decorated names it
# refers to are exactly the exported names of the module-definition file.
#
#   cmake -DCLANG=clang++ -DNM=llvm-nm -DTARGET=i686-windows-msvc -DDEF=exports_x86.def
#         -DSOURCE=msvc_names.cpp -DROOT=<source root> -DWORK=<scratch folder> -P check_msvc_names.cmake
cmake_minimum_required(VERSION 3.21)
# No Microsoft headers here: the declarations need only the fixed-width integers, which clang's
# own stdint.h provides.
file(WRITE "${WORK}/shim/cstdint" "#pragma once\n#include <stdint.h>\n")
execute_process(COMMAND "${CLANG}" --target=${TARGET} -nostdinc++ -isystem "${WORK}/shim"
                        -I "${ROOT}" -c "${SOURCE}" -o "${WORK}/msvc_names_${TARGET}.o"
                RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "check_msvc_names: compiling for ${TARGET} failed:\n${err}")
endif()
execute_process(COMMAND "${NM}" "${WORK}/msvc_names_${TARGET}.o" OUTPUT_VARIABLE symbols
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "check_msvc_names: ${NM} failed")
endif()
string(REGEX MATCHALL "U \\?[^\n]+" refs "${symbols}")
set(decorated)
foreach(ref ${refs})
    string(SUBSTRING "${ref}" 2 -1 name)
    list(APPEND decorated "${name}")
endforeach()
file(STRINGS "${DEF}" defLines REGEX "^[ \t]*\\?[^=]*=")
set(exported)
foreach(line ${defLines})
    string(REGEX MATCH "\\?[^=]+" name "${line}")
    list(APPEND exported "${name}")
endforeach()
list(SORT decorated)
list(SORT exported)
if(NOT decorated STREQUAL exported)
    string(REPLACE ";" "\n  " want "${decorated}")
    string(REPLACE ";" "\n  " have "${exported}")
    message(FATAL_ERROR "check_msvc_names: ${DEF} does not export what ${TARGET} callers link "
                        "against.\nA Microsoft compiler gives:\n  ${want}\n${DEF} has:\n  ${have}")
endif()
list(LENGTH exported count)
message(STATUS "check_msvc_names: ${count} names of ${DEF} match ${TARGET}")
