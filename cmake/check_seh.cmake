# The guard around every viewer call puts a handler of this DLL on the
# thread's exception chain. The system's dispatcher refuses a handler of an
# image marked as having none (NO_SEH), and one missing from the handler
# table of an image's load configuration (SafeSEH): fail the build when the
# DLL gets either.
execute_process(COMMAND i686-w64-mingw32-objdump -p ${DLL} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${DLL}")
endif()
if(dump MATCHES "NO_SEH")
  message(FATAL_ERROR "${DLL} is marked NO_SEH: the system would refuse its exception handler")
endif()
if(NOT dump MATCHES "Entry a 0+ 0+ Load Configuration Directory")
  message(FATAL_ERROR "${DLL} has a load configuration: its handler table would have to list the exception handler")
endif()
