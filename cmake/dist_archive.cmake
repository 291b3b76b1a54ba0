# cmake -DDLL=... -DIMAGES=... -DVERSION=... -DSTAGE=... -DOUT=... -P dist_archive.cmake
# Lays out the plugins folder, packs it and writes the sums file.
foreach(var DLL IMAGES VERSION STAGE OUT)
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
file(WRITE ${OUT}/${name}.sha256 "${sum}  ${name}\n")
message(STATUS "release archive: ${OUT}/${name}")
