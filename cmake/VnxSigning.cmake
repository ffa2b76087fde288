# Optional Authenticode signing of the executables that ship (Setup.exe, and the uninstaller
# before it is packed into the payload) with osslsigncode, which vnxpack installer runs
# (cmake/VnxProduct.cmake). Off unless VNX_SIGN_PKCS12 names a certificate.
#
#   VNX_SIGN_PKCS12          PKCS#12 file holding the code-signing certificate and its key
#   VNX_SIGN_PASSWORD_FILE   file whose first line is that file's password: the password itself
#                            never goes to CMake (its cache) or onto a command line
#   VNX_SIGN_TIMESTAMP_URL   RFC 3161 time-stamp server (optional)
#
#   The signed programs go to <build>/signed/; the unsigned ones stay where the build makes them
#   (app/Setup.exe, resources/Uninstall.exe): what a rebuild from the same inputs gives byte for
#   byte, and what the release's signature can be attached to, to check a release.

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
