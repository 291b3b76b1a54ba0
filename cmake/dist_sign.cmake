# Authenticode signing of the release files with osslsigncode (SHA-256), when
# a code-signing certificate is given in the environment:
#   VIDUDUDE_SIGN_PKCS12    the PKCS#12 file with the certificate and its key
#   VIDUDUDE_SIGN_PASSWORD  its password (may be empty)
#   VIDUDUDE_SIGN_TIMESTAMP an RFC 3161 time-stamp server (optional)
# The password goes to osslsigncode in a file only its owner can read, not
# on a command line that every user of the machine can see.
set(dist_signing OFF)
if(DEFINED ENV{VIDUDUDE_SIGN_PKCS12} AND NOT "$ENV{VIDUDUDE_SIGN_PKCS12}" STREQUAL "")
  if(NOT EXISTS "$ENV{VIDUDUDE_SIGN_PKCS12}")
    message(FATAL_ERROR "VIDUDUDE_SIGN_PKCS12 names no file: $ENV{VIDUDUDE_SIGN_PKCS12}")
  endif()
  if(NOT OSSLSIGNCODE)
    message(FATAL_ERROR "a certificate is given but osslsigncode is missing")
  endif()
  set(dist_signing ON)
endif()

# Signs FILE in place; DESCRIPTION names the program in the signature.
function(dist_sign file description)
  if(NOT dist_signing)
    return()
  endif()
  set(pass ${file}.pass)
  file(TOUCH ${pass})
  file(CHMOD ${pass} PERMISSIONS OWNER_READ OWNER_WRITE)
  file(WRITE ${pass} "$ENV{VIDUDUDE_SIGN_PASSWORD}")
  set(timestamp)
  if(NOT "$ENV{VIDUDUDE_SIGN_TIMESTAMP}" STREQUAL "")
    set(timestamp -ts "$ENV{VIDUDUDE_SIGN_TIMESTAMP}")
  endif()
  file(REMOVE ${file}.signed)
  execute_process(
    COMMAND ${OSSLSIGNCODE} sign -pkcs12 "$ENV{VIDUDUDE_SIGN_PKCS12}" -readpass ${pass} -h sha256
            -n "${description}" ${timestamp} -in ${file} -out ${file}.signed
    RESULT_VARIABLE rc
    OUTPUT_QUIET)
  file(REMOVE ${pass})
  if(NOT rc EQUAL 0)
    file(REMOVE ${file}.signed)
    message(FATAL_ERROR "signing ${file} failed")
  endif()
  file(RENAME ${file}.signed ${file})
endfunction()
