# The stubs of the executables that ship (Setup.exe, and the uninstaller that the payload
# carries; cmake/VnxStubs.cmake), made as a release engineer ships them. After each link:
#
# - the import table is checked (cmake/vnx_check_imports.cmake): it may name only libraries that
#   Windows loads from the system folder whatever lies beside the program (its KnownDLLs), and
#   the common controls that the manifest binds. Any other library is looked for in the
#   program's folder first, a downloads folder for the installer, before its first line runs;
#   such a library is loaded at run time from the system folder instead (syslib/system_library.h);
# - the debug information and the symbol table leave the executable: objcopy --only-keep-debug
#   writes them to <link output>.debug beside it, and the executable keeps a .gnu_debuglink
#   section naming that file (and its CRC), where gdb and winedbg find it to read a crash report.
#   The stripped file is the link output: what vnxpack installer finishes for a product (and
#   signs when signing is on), and the symbol file stays valid for what it makes, which keeps
#   every byte of the stub's sections.
#
#   vnx_release_executable(<target>)
#       Call it after any other step after the link that needs the symbols (the export check of
#       regaddin/check_exports.cmake compares them with the export table).

set(VNX_CHECK_IMPORTS_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/vnx_check_imports.cmake)

function(vnx_release_executable target)
    set(exe $<TARGET_FILE:${target}>)
    # The symbol file's name, worked out here for the build to know it as a byproduct.
    get_target_property(dir ${target} RUNTIME_OUTPUT_DIRECTORY)
    if(NOT dir)
        set(dir ${CMAKE_CURRENT_BINARY_DIR})
    endif()
    get_target_property(name ${target} OUTPUT_NAME)
    if(NOT name)
        set(name ${target})
    endif()
    set(symbols ${dir}/${name}${CMAKE_EXECUTABLE_SUFFIX}.debug)
    # objcopy stamps the PE header with the time it runs, or with SOURCE_DATE_EPOCH when that is
    # set; 0 keeps the header as the linker wrote it (cmake/VnxReproducible.cmake).
    set(objcopy ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=0 ${CMAKE_OBJCOPY})
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${CMAKE_COMMAND} -DEXE=${exe} -DOBJDUMP=${CMAKE_OBJDUMP}
                -P ${VNX_CHECK_IMPORTS_SCRIPT}
        COMMAND ${objcopy} --only-keep-debug ${exe} ${symbols}
        COMMAND ${objcopy} --strip-all --add-gnu-debuglink=${symbols} ${exe}
        BYPRODUCTS ${symbols}
        COMMENT "Checking the imports of ${target}, moving its symbols to ${symbols}"
        VERBATIM)
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${VNX_CHECK_IMPORTS_SCRIPT})
endfunction()
