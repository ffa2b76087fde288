# The level the payloads are packed at (vnxpack --level): 9, the smallest, for what ships.
set(VNX_PACK_LEVEL 9 CACHE STRING "Packing level of the product's payload, 1..9 (9: release)")
if(NOT VNX_PACK_LEVEL MATCHES "^[1-9]$")
    message(FATAL_ERROR "VNX_PACK_LEVEL must be a level from 1 to 9, not '${VNX_PACK_LEVEL}'")
endif()

# What an installer carries for one product folder, made in the order the parts need:
#
#   1. the installation list of the folder plus the uninstaller (vnxpack file-list);
#   2. the uninstaller, carrying that list, so that it removes exactly what is installed;
#   3. the payload: the folder with the uninstaller at its root as "Uninstall.exe", checked
#      against the list (vnxpack pack --add ... --check-list ...).
#
#   vnx_product(PRODUCT_DIR <folder> OUT_DIR <folder> UNINSTALL_TARGET <name>
#               PAYLOAD_TARGET <name> [RELEASE] [LEVEL <1..9>] [DEPENDS <file>...])
#
# RELEASE: the uninstaller ships (cmake/VnxRelease.cmake): its imports are checked, its symbols
# go to a file beside it, and it is signed, when signing is on, before it is packed. LEVEL: the
# packing level, default VNX_PACK_LEVEL. DEPENDS: files that stand for the product folder when
# the build itself makes it (a stamp).
#
# Leaves <OUT_DIR>/install_list.txt, <OUT_DIR>/Uninstall.exe and <OUT_DIR>/payload.bin, the
# list and the payload each with its SHA-256 beside it (<file>.sha256). Each part
# is made again only when the product folder (or the code) changes. A product folder that brings
# its own Uninstall.exe is refused.
function(vnx_product)
    cmake_parse_arguments(A "RELEASE" "PRODUCT_DIR;OUT_DIR;UNINSTALL_TARGET;PAYLOAD_TARGET;LEVEL"
                          "DEPENDS" ${ARGN})
    if(NOT A_LEVEL)
        set(A_LEVEL ${VNX_PACK_LEVEL})
    endif()
    file(GLOB_RECURSE product_files CONFIGURE_DEPENDS LIST_DIRECTORIES true "${A_PRODUCT_DIR}/*")
    file(MAKE_DIRECTORY ${A_OUT_DIR})
    set(list ${A_OUT_DIR}/install_list.txt)
    add_custom_command(OUTPUT ${list} ${list}.sha256
        COMMAND ${VNX_PACK_TOOL} file-list ${A_PRODUCT_DIR} -o ${list} --add Uninstall.exe
        DEPENDS ${product_files} ${A_DEPENDS} ${VNX_PACK_TOOL}
        COMMENT "Listing ${A_PRODUCT_DIR}"
        VERBATIM)

    set(rc ${CMAKE_SOURCE_DIR}/uninstall/uninstall.rc)
    add_executable(${A_UNINSTALL_TARGET} WIN32 ${CMAKE_SOURCE_DIR}/uninstall/main.cpp ${rc})
    set_target_properties(${A_UNINSTALL_TARGET} PROPERTIES OUTPUT_NAME Uninstall
                          RUNTIME_OUTPUT_DIRECTORY ${A_OUT_DIR})
    # The list first on the resource compiler's path, then the generated and committed scripts.
    target_include_directories(${A_UNINSTALL_TARGET} PRIVATE ${A_OUT_DIR}
        ${CMAKE_BINARY_DIR}/resources ${CMAKE_BINARY_DIR}/uninstall ${CMAKE_SOURCE_DIR}/uninstall)
    target_link_libraries(${A_UNINSTALL_TARGET} PRIVATE vnx_uninstall_core vnx_resources)
    set_property(SOURCE ${rc} APPEND PROPERTY OBJECT_DEPENDS ${list} ${list}.sha256
        ${CMAKE_BINARY_DIR}/resources/strings.rc ${CMAKE_BINARY_DIR}/uninstall/uninstall_version.rc
        ${CMAKE_SOURCE_DIR}/uninstall/uninstall.manifest)
    add_custom_target(${A_UNINSTALL_TARGET}_list DEPENDS ${list})
    add_dependencies(${A_UNINSTALL_TARGET} ${A_UNINSTALL_TARGET}_list)
    set(packed $<TARGET_FILE:${A_UNINSTALL_TARGET}>)
    if(A_RELEASE)
        vnx_release_executable(${A_UNINSTALL_TARGET}
                               DESCRIPTION "Varnex Spreadsheet Add-In Uninstall")
        vnx_release_file(packed ${A_UNINSTALL_TARGET})
        # An audit packs the release's own signed uninstaller (README: Reproducible builds).
        if(VNX_UNINSTALLER_FILE)
            set(packed ${VNX_UNINSTALLER_FILE})
        endif()
    endif()

    set(payload ${A_OUT_DIR}/payload.bin)
    add_custom_command(OUTPUT ${payload} ${payload}.sha256
        COMMAND ${VNX_PACK_TOOL} pack ${A_PRODUCT_DIR} -o ${payload}
                --product-version ${VNX_PRODUCT_VERSION} --level ${A_LEVEL}
                --add Uninstall.exe=${packed} --check-list ${list}
        DEPENDS ${product_files} ${A_DEPENDS} ${VNX_PACK_TOOL} ${A_UNINSTALL_TARGET} ${list}
        COMMENT "Packing ${A_PRODUCT_DIR} with its uninstaller (level ${A_LEVEL})"
        VERBATIM)
    add_custom_target(${A_PAYLOAD_TARGET} DEPENDS ${payload})
endfunction()
