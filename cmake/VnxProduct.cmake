# The level the payloads are packed at (vnxpack --level): 9, the smallest, for what ships.
set(VNX_PACK_LEVEL 9 CACHE STRING "Packing level of the product's payload, 1..9 (9: release)")
if(NOT VNX_PACK_LEVEL MATCHES "^[1-9]$")
    message(FATAL_ERROR "VNX_PACK_LEVEL must be a level from 1 to 9, not '${VNX_PACK_LEVEL}'")
endif()
# Where the stubs are built (cmake/VnxStubs.cmake).
set(VNX_STUB_DIR ${CMAKE_BINARY_DIR}/stub)

# The installer and the uninstaller of one product folder, made by the same command a release
# engineer runs without a compiler, `vnxpack installer` (tools/installer_command.cpp), from the
# stubs this build links: it lists the folder, writes the list into a copy of the uninstaller
# stub, packs the folder with that uninstaller at its root and writes the payload into a copy of
# the installer stub. The build's programs and the maker's are the same bytes from the same
# inputs.
#
#   vnx_product(PRODUCT_DIR <folder> SETUP <file> UNINSTALL <file> TARGET <name>
#               [UNINSTALL_TARGET <name>] [RELEASE] [LEVEL <1..9>] [DEPENDS <file>...]
#               [PAYLOAD <file> PAYLOAD_TARGET <name>])
#
# SETUP, UNINSTALL: where the programs go (unsigned). RELEASE: the programs ship: the stubs'
# symbol files go beside them (their .gnu_debuglink names them), they are signed when signing
# is on (cmake/VnxSigning.cmake; signed/Setup.exe and signed/Uninstall.exe, the uninstaller
# before it is packed), and dist/<arch>/ gets them. LEVEL: the packing level, default
# VNX_PACK_LEVEL. DEPENDS: files that stand for the product folder when the build itself makes
# it (a stamp). PAYLOAD: the payload alone, for test programs that link it (the same bytes the
# installer carries), with its SHA-256 beside it. The targets build everything; a product
# folder that brings its own Uninstall.exe is refused.
function(vnx_product)
    cmake_parse_arguments(A "RELEASE"
        "PRODUCT_DIR;SETUP;UNINSTALL;TARGET;UNINSTALL_TARGET;LEVEL;PAYLOAD;PAYLOAD_TARGET"
        "DEPENDS" ${ARGN})
    if(NOT A_LEVEL)
        set(A_LEVEL ${VNX_PACK_LEVEL})
    endif()
    file(GLOB_RECURSE product_files CONFIGURE_DEPENDS LIST_DIRECTORIES true "${A_PRODUCT_DIR}/*")
    set(args installer ${A_PRODUCT_DIR} --stub-dir ${VNX_STUB_DIR}
        --product-version ${VNX_PRODUCT_VERSION} --product-build ${VNX_PRODUCT_BUILD}
        --build-date ${VNX_BUILD_DATE} --level ${A_LEVEL})
    set(outputs ${A_SETUP} ${A_UNINSTALL})
    set(inputs ${product_files} ${A_DEPENDS} ${VNX_PACK_TOOL} SetupStub UninstallStub)
    set(shipped_setup ${A_SETUP})
    set(shipped_uninstall ${A_UNINSTALL})
    set(steps)
    if(A_RELEASE AND VNX_SIGNING)
        set(shipped_setup ${VNX_SIGNED_DIR}/Setup.exe)
        set(shipped_uninstall ${VNX_SIGNED_DIR}/Uninstall.exe)
        list(APPEND args --unsigned-out ${A_SETUP} --unsigned-uninstaller-out ${A_UNINSTALL}
             --sign-pkcs12 ${VNX_SIGN_PKCS12} --sign-password-file ${VNX_SIGN_PASSWORD_FILE})
        if(VNX_SIGN_TIMESTAMP_URL)
            list(APPEND args --timestamp-url ${VNX_SIGN_TIMESTAMP_URL})
        endif()
        list(APPEND outputs ${shipped_setup} ${shipped_uninstall})
        list(APPEND inputs ${VNX_SIGN_PKCS12} ${VNX_SIGN_PASSWORD_FILE})
    endif()
    list(APPEND args -o ${shipped_setup} --uninstaller-out ${shipped_uninstall})
    # An audit packs the release's own signed uninstaller (README: Reproducible builds).
    if(A_RELEASE AND VNX_UNINSTALLER_FILE)
        list(APPEND args --uninstaller ${VNX_UNINSTALLER_FILE})
        list(APPEND inputs ${VNX_UNINSTALLER_FILE})
    endif()
    if(A_RELEASE)
        set(dist ${VNX_DIST_DIR}/${VNX_DIST_ARCH})
        list(APPEND steps
            COMMAND ${CMAKE_COMMAND} -E copy ${VNX_STUB_DIR}/Setup.exe.debug ${A_SETUP}.debug
            COMMAND ${CMAKE_COMMAND} -E copy ${VNX_STUB_DIR}/Uninstall.exe.debug
                    ${A_UNINSTALL}.debug
            COMMAND ${CMAKE_COMMAND} -E make_directory ${dist}
            COMMAND ${CMAKE_COMMAND} -E copy ${shipped_setup} ${shipped_uninstall} ${dist})
        list(APPEND outputs ${A_SETUP}.debug ${A_UNINSTALL}.debug)
        set_property(GLOBAL APPEND PROPERTY VNX_RELEASE_FILES
                     Setup=${A_SETUP} Uninstall=${A_UNINSTALL})
    endif()
    add_custom_command(OUTPUT ${outputs}
        COMMAND ${VNX_PACK_TOOL} ${args}
        ${steps}
        DEPENDS ${inputs}
        COMMENT "Making the installer of ${A_PRODUCT_DIR} from the stubs (level ${A_LEVEL})"
        VERBATIM)
    add_custom_target(${A_TARGET} ALL DEPENDS ${outputs})
    if(A_UNINSTALL_TARGET)
        add_custom_target(${A_UNINSTALL_TARGET} DEPENDS ${A_TARGET})
    endif()
    if(A_PAYLOAD)
        set(list ${A_PAYLOAD}.list)
        add_custom_command(OUTPUT ${A_PAYLOAD} ${A_PAYLOAD}.sha256
            COMMAND ${VNX_PACK_TOOL} file-list ${A_PRODUCT_DIR} -o ${list} --add Uninstall.exe
            COMMAND ${VNX_PACK_TOOL} pack ${A_PRODUCT_DIR} -o ${A_PAYLOAD}
                    --product-version ${VNX_PRODUCT_VERSION} --level ${A_LEVEL}
                    --add Uninstall.exe=${shipped_uninstall} --check-list ${list}
            DEPENDS ${outputs}
            COMMENT "Packing ${A_PRODUCT_DIR} with its uninstaller for the test programs"
            VERBATIM)
        add_custom_target(${A_PAYLOAD_TARGET} DEPENDS ${A_PAYLOAD})
    endif()
endfunction()
