# Authenticode signing of the release files with osslsigncode (SHA-256), when
# a code-signing certificate is given in the environment:
#   VIDUDUDE_SIGN_PKCS12    the PKCS#12 file with the certificate and its key
#   VIDUDUDE_SIGN_PASSWORD  its password; empty or unset for a certificate
#                           that has none
#   VIDUDUDE_SIGN_TIMESTAMP an RFC 3161 time-stamp server (optional)
# The password goes to osslsigncode in a file only its owner can read, not
# on a command line that every user of the machine can see. osslsigncode
# cannot read an empty password from a file, so without one it gets none.
# A wrong or missing password ends the release with a message; nothing asks
# for one.
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
  set(password)
  if(NOT "$ENV{VIDUDUDE_SIGN_PASSWORD}" STREQUAL "")
    file(TOUCH ${pass})
    file(CHMOD ${pass} PERMISSIONS OWNER_READ OWNER_WRITE)
    file(WRITE ${pass} "$ENV{VIDUDUDE_SIGN_PASSWORD}")
    set(password -readpass ${pass})
  endif()
  set(timestamp)
  if(NOT "$ENV{VIDUDUDE_SIGN_TIMESTAMP}" STREQUAL "")
    set(timestamp -ts "$ENV{VIDUDUDE_SIGN_TIMESTAMP}")
  endif()
  file(REMOVE ${file}.signed)
  execute_process(
    COMMAND ${OSSLSIGNCODE} sign -pkcs12 "$ENV{VIDUDUDE_SIGN_PKCS12}" ${password} -h sha256
            -n "${description}" ${timestamp} -in ${file} -out ${file}.signed
    RESULT_VARIABLE rc
    OUTPUT_QUIET
    ERROR_VARIABLE errors)
  file(REMOVE ${pass})
  if(NOT rc EQUAL 0)
    file(REMOVE ${file}.signed)
    if(errors MATCHES "Failed to parse PKCS#12" AND password)
      message(FATAL_ERROR "signing ${file} failed: VIDUDUDE_SIGN_PASSWORD does not open "
                          "$ENV{VIDUDUDE_SIGN_PKCS12}, or it is no PKCS#12 file")
    elseif(errors MATCHES "Failed to parse PKCS#12")
      message(FATAL_ERROR "signing ${file} failed: $ENV{VIDUDUDE_SIGN_PKCS12} needs a password "
                          "(VIDUDUDE_SIGN_PASSWORD), or is no PKCS#12 file")
    endif()
    message(FATAL_ERROR "signing ${file} failed: ${errors}")
  endif()
  file(RENAME ${file}.signed ${file})
endfunction()
