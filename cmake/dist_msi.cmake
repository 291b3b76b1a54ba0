# cmake -DWIXL=... -DWXS=... -DRC_IN=... -DVERSION=... -DSTAGE=... -DMSI=... -P dist_msi.cmake
# Builds the Windows Installer package from the staged plugins folder. Its
# entry in the installed-programs list takes product name and publisher from
# the DLL's version resource (RC_IN), so the two cannot drift apart.
foreach(var WIXL WXS RC_IN VERSION STAGE MSI)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "dist_msi.cmake needs -D${var}=...")
  endif()
endforeach()

# wixl runs in the stage, so every path it gets must be absolute.
get_filename_component(MSI ${MSI} ABSOLUTE)
get_filename_component(WXS ${WXS} ABSOLUTE)
file(READ ${RC_IN} rc)
foreach(field CompanyName ProductName)
  if(NOT rc MATCHES "VALUE \"${field}\", \"([^\"]+)\"")
    message(FATAL_ERROR "${RC_IN} has no ${field}")
  endif()
  set(${field} "${CMAKE_MATCH_1}")
endforeach()

file(REMOVE ${MSI})
execute_process(
  COMMAND ${WIXL} --arch x86 -D Version=${VERSION} -D "Manufacturer=${CompanyName}"
          -D "ProductName=${ProductName}" -o ${MSI} ${WXS}
  WORKING_DIRECTORY ${STAGE}
  RESULT_VARIABLE rc_wixl)
if(NOT rc_wixl EQUAL 0 OR NOT EXISTS ${MSI})
  file(REMOVE ${MSI})
  message(FATAL_ERROR "wixl failed on ${WXS}")
endif()
