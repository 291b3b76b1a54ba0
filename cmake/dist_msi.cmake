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

get_filename_component(packaging ${WXS} DIRECTORY)
include(${packaging}/support.cmake)

file(REMOVE ${MSI})
execute_process(
  COMMAND ${WIXL} --arch x86 -D Version=${VERSION} -D "Manufacturer=${CompanyName}"
          -D "ProductName=${ProductName}" -D "HelpLink=${VIDUDUDE_HELP_LINK}" -D "Contact=${VIDUDUDE_CONTACT}"
          -o ${MSI} ${WXS}
  WORKING_DIRECTORY ${STAGE}
  RESULT_VARIABLE rc_wixl)
if(NOT rc_wixl EQUAL 0 OR NOT EXISTS ${MSI})
  file(REMOVE ${MSI})
  message(FATAL_ERROR "wixl failed on ${WXS}")
endif()

# wixl writes no Version and no Language into the File table and hashes
# every file as if it had no version. Windows Installer goes by that column,
# and by its rules a file without a version never replaces one with a
# version: the package would leave a DLL unpacked from the archive in place,
# say it installed, and delete that DLL on removal. The two programs get the
# file version and language of their version resource, and lose their hash
# (a versioned file has none). A managed install takes a folder from the
# command line only when the property is secure: INSTALLDIR joins the ones
# that wixl lists. The event source's message file is an expandable string
# ("#%"), which wixl escapes. An UPDATE that matches no row succeeds all the
# same, so every correction is read back from the tables at the end.
find_program(MSIBUILD msibuild REQUIRED)
find_program(MSIINFO msiinfo REQUIRED)

# The little-endian 16-bit word at the byte whose hex digits start at at.
function(word_at hex at out)
  math(EXPR high "${at} + 2")
  string(SUBSTRING "${hex}" ${at} 2 low_byte)
  string(SUBSTRING "${hex}" ${high} 2 high_byte)
  math(EXPR value "0x${high_byte}${low_byte}")
  set(${out} ${value} PARENT_SCOPE)
endfunction()

# Where the bytes given as hex digits start in hex, as a digit index, on a
# byte boundary; -1 when they are not there.
function(find_bytes hex bytes out)
  set(base 0)
  string(FIND "${hex}" "${bytes}" at)
  # Found between two bytes: search on after it.
  while(at GREATER -1 AND at MATCHES "[13579]$")
    math(EXPR next "${at} + 1")
    math(EXPR base "${base} + ${next}")
    string(SUBSTRING "${hex}" ${next} -1 hex)
    string(FIND "${hex}" "${bytes}" at)
  endwhile()
  if(at GREATER -1)
    math(EXPR at "${base} + ${at}")
  endif()
  set(${out} ${at} PARENT_SCOPE)
endfunction()

# The file version of a program's VS_FIXEDFILEINFO as "a.b.c.d", and the
# language of its translation as a decimal LANGID.
function(version_resource file version_out language_out)
  file(READ ${file} hex HEX)
  # The resource's key "VS_VERSION_INFO" and its NUL (UTF-16LE): the
  # signature's bytes may also stand in the program's code, as a constant of
  # its own.
  find_bytes("${hex}" 560053005f00560045005200530049004f004e005f0049004e0046004f000000 key)
  if(key EQUAL -1)
    message(FATAL_ERROR "${file} has no version resource")
  endif()
  string(SUBSTRING "${hex}" ${key} -1 hex)
  find_bytes("${hex}" bd04effe fixed)
  # "Translation", its NUL and the padding to the value (UTF-16LE).
  find_bytes("${hex}" 5400720061006e0073006c006100740069006f006e0000000000 translation)
  if(fixed EQUAL -1 OR translation EQUAL -1)
    message(FATAL_ERROR "${file} has no version resource")
  endif()
  set(version)
  # dwFileVersionMS and dwFileVersionLS, each as its high and low word.
  foreach(offset 20 16 28 24)
    math(EXPR at "${fixed} + ${offset}")
    word_at("${hex}" ${at} part)
    list(APPEND version ${part})
  endforeach()
  list(JOIN version "." version)
  math(EXPR at "${translation} + 52")
  word_at("${hex}" ${at} language)
  set(${version_out} ${version} PARENT_SCOPE)
  set(${language_out} ${language} PARENT_SCOPE)
endfunction()

# The plug-in carries the project's version as FILEVERSION major,minor,patch,0
# (the diagnosis does too, but a package may bring an older one). The
# read-back at the end compares the tables with what was parsed here, so
# only this comparison stops a wrong parse from reaching the package.
if(NOT VERSION MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)")
  message(FATAL_ERROR "the version ${VERSION} is not major.minor.patch")
endif()
set(file_version "${CMAKE_MATCH_1}.${CMAKE_MATCH_2}.${CMAKE_MATCH_3}.0")
set(queries)
set(programs)
foreach(entry "VidudUDE.DLL|plugins/VidudUDE.DLL" "VidudUDE_Diagnose.exe|plugins/VidudUDE_data/VidudUDE-Diagnose.exe")
  string(REPLACE "|" ";" entry "${entry}")
  list(GET entry 0 id)
  list(GET entry 1 path)
  version_resource(${STAGE}/${path} version language)
  if(id STREQUAL "VidudUDE.DLL" AND NOT version STREQUAL file_version)
    file(REMOVE ${MSI})
    message(FATAL_ERROR "${path} reads as version ${version}, not ${file_version}")
  endif()
  list(APPEND programs "${id}|${version}|${language}")
  list(APPEND queries
       -q "UPDATE `File` SET `Version` = '${version}', `Language` = '${language}' WHERE `File` = '${id}'"
       -q "DELETE FROM `MsiFileHash` WHERE `File_` = '${id}'")
endforeach()
set(message_file "#%[INSTALLDIR]VidudUDE.DLL")
list(APPEND queries -q "UPDATE `Registry` SET `Value` = '${message_file}' WHERE `Name` = 'EventMessageFile'")
execute_process(COMMAND ${MSIINFO} export ${MSI} Property OUTPUT_VARIABLE properties RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT properties MATCHES "\nSecureCustomProperties\t([^\r\n]*)")
  file(REMOVE ${MSI})
  message(FATAL_ERROR "${MSI} has no SecureCustomProperties")
endif()
# The value's semicolons stay in one argument.
string(REPLACE ";" "\\;" secure "${CMAKE_MATCH_1};INSTALLDIR")
list(APPEND queries -q "UPDATE `Property` SET `Value` = '${secure}' WHERE `Property` = 'SecureCustomProperties'")
execute_process(COMMAND ${MSIBUILD} ${MSI} ${queries} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  file(REMOVE ${MSI})
  message(FATAL_ERROR "msibuild could not correct the tables of ${MSI}")
endif()

# The tables as they came out: stop unless each correction took.
function(table name out)
  execute_process(COMMAND ${MSIINFO} export ${MSI} ${name} OUTPUT_VARIABLE rows RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    file(REMOVE ${MSI})
    message(FATAL_ERROR "msiinfo cannot read the table ${name} of ${MSI}")
  endif()
  string(REPLACE "\r" "" rows "${rows}")
  set(${out} "\n${rows}" PARENT_SCOPE)
endfunction()
table(File files)
table(MsiFileHash hashes)
table(Registry registry)
table(Property properties)
set(wrong)
foreach(program ${programs})
  string(REPLACE "|" ";" program "${program}")
  list(GET program 0 id)
  list(GET program 1 version)
  list(GET program 2 language)
  string(REPLACE "." "\\." id_pattern "${id}")
  # File, Component_, FileName, FileSize, Version, Language, ...
  if(NOT files MATCHES "\n${id_pattern}\t[^\t\n]*\t[^\t\n]*\t[^\t\n]*\t([^\t\n]*)\t([^\t\n]*)\t")
    list(APPEND wrong "no File row ${id}")
  elseif(NOT CMAKE_MATCH_1 STREQUAL version OR NOT CMAKE_MATCH_2 STREQUAL language)
    list(APPEND wrong "${id} has version '${CMAKE_MATCH_1}' and language '${CMAKE_MATCH_2}', not ${version} and ${language}")
  endif()
  if(hashes MATCHES "\n${id_pattern}\t")
    list(APPEND wrong "${id} has a file hash")
  endif()
endforeach()
string(REPLACE "[" "\\[" message_pattern "${message_file}")
string(REPLACE "]" "\\]" message_pattern "${message_pattern}")
if(NOT registry MATCHES "\tEventMessageFile\t${message_pattern}\t")
  list(APPEND wrong "the event source's EventMessageFile is not ${message_file}")
endif()
if(NOT properties MATCHES "\nSecureCustomProperties\t([^\n]*;)?INSTALLDIR(;|\n)")
  list(APPEND wrong "INSTALLDIR is not a secure property")
endif()
if(wrong)
  file(REMOVE ${MSI})
  list(JOIN wrong "; " wrong)
  message(FATAL_ERROR "the correction of the tables of ${MSI} did not take: ${wrong}")
endif()
