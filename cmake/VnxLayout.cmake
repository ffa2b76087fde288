# The folders' layering, enforced by the compiler.
#
# Sources include headers by their path from the source root ("archive/payload_archive.h"), but
# the root itself is on no include path. Each folder is reachable only through an include
# directory of its own that holds nothing but a link to that folder, and a library adds that
# directory to its users' include path. So a target sees the headers of the folders whose
# libraries it links, and an include that skips or inverts a layer does not compile.
#
#   vnx_expose(<target> <folder> [INTERFACE])   <folder> relative to the source root, e.g.
#                                                "archive" or "tests/guidriver"

function(vnx_expose target folder)
    set(scope PUBLIC)
    if(ARGV2 STREQUAL "INTERFACE")
        set(scope INTERFACE)
    endif()
    string(REPLACE "/" "+" key "${folder}")
    set(base ${CMAKE_BINARY_DIR}/vnx-include/${key})
    set(link ${base}/${folder})
    if(NOT IS_SYMLINK ${link})
        get_filename_component(parent ${link} DIRECTORY)
        file(MAKE_DIRECTORY ${parent})
        file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${folder} ${link} SYMBOLIC)
    endif()
    target_include_directories(${target} ${scope} ${base})
endfunction()
