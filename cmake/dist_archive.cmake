# cmake -DDLL=... -DDIAGNOSE=... -DIMAGES=... -DVERSION=... -DSTAGE=... -DOUT=... -DOBJCOPY=...
#       -DWIXL=... -DWXS=... -DRC_IN=... [-DOSSLSIGNCODE=...] -P dist_archive.cmake
# Lays out the plugins folder with the DLL stripped of its debug sections and symbols,
# and the diagnosis (stripped too) beside the images; signs both when a certificate is given (dist_sign.cmake), packs the
# folder as the archive and as the Windows Installer package (signed too),
# puts the debug information beside them as VidudUDE-<version>.debug (the
# stripped DLL names it in a debug link, so a debugger finds it when it lies
# beside the DLL) and writes the sums file. The environment variable
# VIDUDUDE_DIST_OUT, when set, names another output folder than OUT.
foreach(var DLL DIAGNOSE IMAGES VERSION STAGE OUT OBJCOPY WIXL WXS RC_IN)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "dist_archive.cmake needs -D${var}=...")
  endif()
endforeach()

if(DEFINED ENV{VIDUDUDE_DIST_OUT} AND NOT "$ENV{VIDUDUDE_DIST_OUT}" STREQUAL "")
  set(OUT "$ENV{VIDUDUDE_DIST_OUT}")
endif()
include(${CMAKE_CURRENT_LIST_DIR}/dist_sign.cmake)

set(files
  plugins/VidudUDE.DLL
  plugins/VidudUDE_data/VidudUDE_32x32.png
  plugins/VidudUDE_data/AufmErzeugen_32x32.png
  plugins/VidudUDE_data/VidudUDE-Diagnose.exe
  plugins/VidudUDE_data/README.txt
  plugins/VidudUDE_data/RELEASE-NOTES.txt)
get_filename_component(packaging ${WXS} DIRECTORY)
include(${packaging}/support.cmake)
set(notes ${packaging}/release-notes/${VERSION}.txt)
if(NOT EXISTS ${notes})
  message(FATAL_ERROR "no release notes for ${VERSION}: write ${notes}")
endif()

file(REMOVE_RECURSE ${STAGE})
file(MAKE_DIRECTORY ${STAGE}/plugins/VidudUDE_data ${OUT})
file(COPY ${DLL} DESTINATION ${STAGE}/plugins)
set(debug_name VidudUDE-${VERSION}.debug)
file(REMOVE ${OUT}/${debug_name})
# The debug link records the file's name and checksum; it is added from the
# output folder so that the name carries no directory.
foreach(step
    "--only-keep-debug;${STAGE}/plugins/VidudUDE.DLL;${OUT}/${debug_name}"
    "--strip-all;--add-gnu-debuglink=${debug_name};${STAGE}/plugins/VidudUDE.DLL")
  execute_process(COMMAND ${OBJCOPY} ${step} WORKING_DIRECTORY ${OUT} RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "objcopy ${step} failed")
  endif()
endforeach()
file(COPY ${DIAGNOSE} DESTINATION ${STAGE}/plugins/VidudUDE_data)
execute_process(COMMAND ${OBJCOPY} --strip-all ${STAGE}/plugins/VidudUDE_data/VidudUDE-Diagnose.exe RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "objcopy --strip-all VidudUDE-Diagnose.exe failed")
endif()
dist_sign(${STAGE}/plugins/VidudUDE.DLL "Quabo BimVision DLL")
dist_sign(${STAGE}/plugins/VidudUDE_data/VidudUDE-Diagnose.exe "VidudUDE-Diagnose")
file(COPY ${IMAGES}/VidudUDE_32x32.png ${IMAGES}/AufmErzeugen_32x32.png DESTINATION ${STAGE}/plugins/VidudUDE_data)
# The texts for IT, with Windows line ends, so that any editor shows them.
set(HELP_LINK "${VIDUDUDE_HELP_LINK}")
set(CONTACT "${VIDUDUDE_CONTACT}")
set(UPGRADE_CODE "${VIDUDUDE_UPGRADE_CODE}")
configure_file(${packaging}/README.txt.in ${STAGE}/README.txt @ONLY)
foreach(text "${STAGE}/README.txt|README.txt" "${notes}|RELEASE-NOTES.txt")
  string(REPLACE "|" ";" text "${text}")
  list(GET text 0 from)
  list(GET text 1 to)
  file(READ ${from} content)
  string(REPLACE "\r\n" "\n" content "${content}")
  string(REPLACE "\n" "\r\n" content "${content}")
  file(WRITE ${STAGE}/plugins/VidudUDE_data/${to} "${content}")
endforeach()
file(REMOVE ${STAGE}/README.txt)

set(name VidudUDE-${VERSION}.zip)
file(REMOVE ${OUT}/${name} ${OUT}/${name}.sha256)
execute_process(
  COMMAND ${CMAKE_COMMAND} -E tar cf ${OUT}/${name} --format=zip ${files}
  WORKING_DIRECTORY ${STAGE}
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  file(REMOVE ${OUT}/${name})
  message(FATAL_ERROR "packing ${name} failed")
endif()

set(msi_name VidudUDE-${VERSION}.msi)
execute_process(
  COMMAND ${CMAKE_COMMAND} -DWIXL=${WIXL} -DWXS=${WXS} -DRC_IN=${RC_IN} -DVERSION=${VERSION} -DSTAGE=${STAGE}
          -DMSI=${OUT}/${msi_name} -P ${CMAKE_CURRENT_LIST_DIR}/dist_msi.cmake
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "building ${msi_name} failed")
endif()
dist_sign(${OUT}/${msi_name} "Quabo BimVision DLL")

set(sums)
foreach(file ${name} ${msi_name} ${debug_name})
  file(SHA256 ${OUT}/${file} sum)
  string(APPEND sums "${sum}  ${file}\n")
endforeach()
file(WRITE ${OUT}/${name}.sha256 "${sums}")
file(SIZE ${STAGE}/plugins/VidudUDE.DLL dll_size)
file(SIZE ${OUT}/${debug_name} debug_size)
file(SIZE ${OUT}/${name} zip_size)
file(SIZE ${OUT}/${msi_name} msi_size)
message(STATUS "release archive: ${OUT}/${name} (${zip_size} bytes, VidudUDE.DLL ${dll_size} bytes), "
               "package: ${OUT}/${msi_name} (${msi_size} bytes), "
               "debug information: ${OUT}/${debug_name} (${debug_size} bytes)")
if(dist_signing)
  message(STATUS "signed with the certificate in $ENV{VIDUDUDE_SIGN_PKCS12}: VidudUDE.DLL, VidudUDE-Diagnose.exe and ${msi_name}")
  if("$ENV{VIDUDUDE_SIGN_TIMESTAMP}" STREQUAL "")
    message(STATUS "NO TIME STAMP (VIDUDUDE_SIGN_TIMESTAMP): the signatures are no longer valid once the certificate expires")
  endif()
else()
  message(STATUS "UNSIGNED release: no code-signing certificate given (VIDUDUDE_SIGN_PKCS12, VIDUDUDE_SIGN_PASSWORD)")
endif()
