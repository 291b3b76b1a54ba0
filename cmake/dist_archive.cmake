# cmake -DDLL=... -DIMAGES=... -DVERSION=... -DSTAGE=... -DOUT=... -DOBJCOPY=... -P dist_archive.cmake
# Lays out the plugins folder with the DLL stripped of its debug sections and symbols,
# packs it, puts the debug information beside the archive as
# VidudUDE-<version>.debug (the stripped DLL names it in a debug link, so a
# debugger finds it when it lies beside the DLL) and writes the sums file.
foreach(var DLL IMAGES VERSION STAGE OUT OBJCOPY)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "dist_archive.cmake needs -D${var}=...")
  endif()
endforeach()

set(files
  plugins/VidudUDE.DLL
  plugins/VidudUDE_data/VidudUDE_32x32.png
  plugins/VidudUDE_data/AufmErzeugen_32x32.png)

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
file(COPY ${IMAGES}/VidudUDE_32x32.png ${IMAGES}/AufmErzeugen_32x32.png DESTINATION ${STAGE}/plugins/VidudUDE_data)

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

file(SHA256 ${OUT}/${name} sum)
file(SHA256 ${OUT}/${debug_name} debug_sum)
file(WRITE ${OUT}/${name}.sha256 "${sum}  ${name}\n${debug_sum}  ${debug_name}\n")
file(SIZE ${STAGE}/plugins/VidudUDE.DLL dll_size)
file(SIZE ${OUT}/${debug_name} debug_size)
message(STATUS "release archive: ${OUT}/${name} (VidudUDE.DLL ${dll_size} bytes), debug information: ${OUT}/${debug_name} (${debug_size} bytes)")
