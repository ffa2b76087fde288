# Optional Authenticode signing of the executables that ship (Setup.exe, and the uninstaller
# before it is packed into the payload) with osslsigncode. Off unless VNX_SIGN_PKCS12 names a
# certificate.
#
#   VNX_SIGN_PKCS12          PKCS#12 file holding the code-signing certificate and its key
#   VNX_SIGN_PASSWORD_FILE   file whose first line is that file's password: the password itself
#                            never goes to CMake (its cache) or onto a command line
#   VNX_SIGN_TIMESTAMP_URL   RFC 3161 time-stamp server (optional)
#
#   vnx_sign_executable(<target> [DESCRIPTION <text>])
#       After each link of <target>, writes a signed copy to <build>/signed/<file name>. The link
#       output itself stays unsigned: it is what a rebuild from the same inputs gives byte for
#       byte, and the release's signature can be attached to such a rebuild to check a release.
#       Whether signing is on or not, <target> is listed as a release executable (global
#       property VNX_RELEASE_TARGETS): the release tests rebuild and compare every one of them.
#   vnx_release_file(<var> <target>)
#       The file to ship or to pack for <target>: its signed copy when signing is on, else its
#       link output. Both are written by <target>'s link step: depend on <target>.

set(VNX_SIGN_PKCS12 "" CACHE FILEPATH "PKCS#12 code-signing certificate and key; empty: no signing")
set(VNX_SIGN_PASSWORD_FILE "" CACHE FILEPATH "File whose first line is the password of VNX_SIGN_PKCS12")
set(VNX_SIGN_TIMESTAMP_URL "" CACHE STRING "RFC 3161 time-stamp server for the signatures (optional)")
set(VNX_SIGNED_DIR ${CMAKE_BINARY_DIR}/signed)

set(VNX_SIGNING OFF)
if(VNX_SIGN_PKCS12)
    if(NOT EXISTS "${VNX_SIGN_PKCS12}" OR IS_DIRECTORY "${VNX_SIGN_PKCS12}")
        message(FATAL_ERROR "VNX_SIGN_PKCS12: no certificate file ${VNX_SIGN_PKCS12}")
    endif()
    if(NOT EXISTS "${VNX_SIGN_PASSWORD_FILE}" OR IS_DIRECTORY "${VNX_SIGN_PASSWORD_FILE}")
        # A value that names no file may be a password given by mistake: it is not repeated
        # here and does not stay in the cache.
        unset(VNX_SIGN_PASSWORD_FILE CACHE)
        message(FATAL_ERROR "VNX_SIGN_PASSWORD_FILE must name the file that holds the password "
                            "of VNX_SIGN_PKCS12")
    endif()
    find_program(VNX_OSSLSIGNCODE osslsigncode)
    if(NOT VNX_OSSLSIGNCODE)
        message(FATAL_ERROR "Signing needs osslsigncode (scripts/setup installs it)")
    endif()
    set(VNX_SIGNING ON)
    message(STATUS "Signing the release executables with ${VNX_SIGN_PKCS12}")
endif()

function(_vnx_signed_path var target)
    get_target_property(name ${target} OUTPUT_NAME)
    if(NOT name)
        set(name ${target})
    endif()
    set(${var} ${VNX_SIGNED_DIR}/${name}${CMAKE_EXECUTABLE_SUFFIX} PARENT_SCOPE)
endfunction()

function(vnx_sign_executable target)
    cmake_parse_arguments(A "" "DESCRIPTION" "" ${ARGN})
    if(NOT A_DESCRIPTION)
        set(A_DESCRIPTION "Varnex Spreadsheet Add-In")
    endif()
    set_property(GLOBAL APPEND PROPERTY VNX_RELEASE_TARGETS ${target})
    if(NOT VNX_SIGNING)
        return()
    endif()
    _vnx_signed_path(signed ${target})
    set(script ${CMAKE_SOURCE_DIR}/cmake/vnx_sign_file.cmake)
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${CMAKE_COMMAND} -DOSSLSIGNCODE=${VNX_OSSLSIGNCODE}
                -DINPUT=$<TARGET_FILE:${target}> -DOUTPUT=${signed}
                -DPKCS12=${VNX_SIGN_PKCS12} -DPASSWORD_FILE=${VNX_SIGN_PASSWORD_FILE}
                -DTIMESTAMP_URL=${VNX_SIGN_TIMESTAMP_URL} -DDESCRIPTION=${A_DESCRIPTION}
                -P ${script}
        BYPRODUCTS ${signed}
        COMMENT "Signing ${target}"
        VERBATIM)
    # Another certificate, password or signing script signs again: the link step reruns.
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS
                 ${VNX_SIGN_PKCS12} ${VNX_SIGN_PASSWORD_FILE} ${script})
endfunction()

function(vnx_release_file var target)
    get_property(release GLOBAL PROPERTY VNX_RELEASE_TARGETS)
    if(NOT target IN_LIST release)
        message(FATAL_ERROR "vnx_release_file: call vnx_sign_executable(${target}) first")
    endif()
    if(VNX_SIGNING)
        _vnx_signed_path(file ${target})
    else()
        set(file $<TARGET_FILE:${target}>)
    endif()
    set(${var} ${file} PARENT_SCOPE)
endfunction()
