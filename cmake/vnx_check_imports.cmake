# Checks that the import table of an executable that ships names only libraries that Windows
# never looks for beside the program: its KnownDLLs (those of Windows 7 and later that a program
# like this may use), which always come from the system folder, and the common controls, which
# the manifest binds to the system's side-by-side assembly. A library outside the list would be
# loaded from the program's folder first, before the program's first line runs.
#
#   cmake -DEXE=file.exe -DOBJDUMP=objdump -P vnx_check_imports.cmake
cmake_minimum_required(VERSION 3.21)
foreach(v EXE OBJDUMP)
    if(NOT DEFINED ${v})
        message(FATAL_ERROR "vnx_check_imports: ${v} not given")
    endif()
endforeach()

set(allowed advapi32 comdlg32 gdi32 imagehlp imm32 kernel32 msvcrt ole32 oleaut32 psapi rpcrt4
            setupapi shell32 shlwapi user32 ws2_32
            comctl32)

execute_process(COMMAND "${OBJDUMP}" -p "${EXE}" OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "vnx_check_imports: ${OBJDUMP} -p ${EXE} failed")
endif()
# Every "DLL Name:" line, of the import table and of a delay-load table alike.
string(REGEX MATCHALL "DLL Name: [^\n]+" lines "${dump}")
set(imported)
set(errors)
foreach(line ${lines})
    string(REGEX REPLACE "^DLL Name: *" "" name "${line}")
    string(STRIP "${name}" name)
    string(TOLOWER "${name}" lower)
    string(REGEX REPLACE "\\.dll$" "" base "${lower}")
    list(APPEND imported ${base})
    if(NOT base IN_LIST allowed)
        list(APPEND errors "imports ${name}, which Windows looks for beside the program first")
    endif()
endforeach()
if(NOT imported)
    message(FATAL_ERROR "vnx_check_imports: no import table found in ${EXE}")
endif()
if(errors)
    string(REPLACE ";" "\n  " text "${errors}")
    message(FATAL_ERROR "vnx_check_imports: ${EXE}:\n  ${text}\n"
                        "Load such a library at run time from the system folder "
                        "(syslib/system_library.h).")
endif()
list(JOIN imported " " text)
message(STATUS "vnx_check_imports: ${EXE}: ${text}")
