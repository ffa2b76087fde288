# Signs one executable with osslsigncode (Authenticode, SHA-256) into a separate file; run by
# vnx_sign_executable (cmake/VnxSigning.cmake) after each link.
#
#   cmake -DOSSLSIGNCODE=osslsigncode -DINPUT=linked.exe -DOUTPUT=signed.exe -DPKCS12=cert.p12
#         -DPASSWORD_FILE=file -DDESCRIPTION=text [-DTIMESTAMP_URL=url] -P vnx_sign_file.cmake
#
# The password is read by osslsigncode from PASSWORD_FILE (-readpass), never passed as an
# argument. Without a time-stamp server the signing time is SOURCE_DATE_EPOCH when that is set,
# so that signing the same file with the same certificate gives the same bytes (this matters for
# an executable that is packed into the payload after signing). A time-stamp server's answer
# differs each time: it carries its own time.
cmake_minimum_required(VERSION 3.21)
foreach(v IN ITEMS OSSLSIGNCODE INPUT OUTPUT PKCS12 PASSWORD_FILE DESCRIPTION)
    if(NOT DEFINED ${v} OR "${${v}}" STREQUAL "")
        message(FATAL_ERROR "vnx_sign_file: ${v} not given")
    endif()
endforeach()

set(args sign -pkcs12 "${PKCS12}" -readpass "${PASSWORD_FILE}" -h sha256 -n "${DESCRIPTION}")
if(TIMESTAMP_URL)
    list(APPEND args -ts "${TIMESTAMP_URL}")
elseif(NOT "$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
    list(APPEND args -time "$ENV{SOURCE_DATE_EPOCH}")
endif()

# osslsigncode writes no file over an existing one; a temporary name keeps a half-written file
# from ever standing at OUTPUT.
get_filename_component(dir "${OUTPUT}" DIRECTORY)
file(MAKE_DIRECTORY "${dir}")
set(partial "${OUTPUT}.partial")
file(REMOVE "${partial}")
execute_process(COMMAND "${OSSLSIGNCODE}" ${args} -in "${INPUT}" -out "${partial}"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
    file(REMOVE "${partial}" "${OUTPUT}")
    message(FATAL_ERROR "Signing ${INPUT} failed:\n${out}")
endif()
file(RENAME "${partial}" "${OUTPUT}")
# osslsigncode writes a plain file; the signed executable stays executable like its input.
file(CHMOD "${OUTPUT}" FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
     GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
