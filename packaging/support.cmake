# Where users and IT departments turn for help, for the uninstall entry
# (ARPHELPLINK, ARPCONTACT) and the release's README.txt: the web address
# and e-mail address that the plug-in shows the viewer (plugin/plugin_texts.h),
# so that the two cannot drift apart. Read by cmake/dist_archive.cmake and
# cmake/dist_msi.cmake.
file(READ ${CMAKE_CURRENT_LIST_DIR}/../plugin/plugin_texts.h plugin_texts)
foreach(field "PluginWebAddress|VIDUDUDE_HELP_LINK" "PluginEmail|VIDUDUDE_CONTACT")
  string(REPLACE "|" ";" field "${field}")
  list(GET field 0 name)
  list(GET field 1 variable)
  if(NOT plugin_texts MATCHES "${name} = L\"([^\"]+)\"")
    message(FATAL_ERROR "plugin/plugin_texts.h has no ${name}")
  endif()
  set(${variable} "${CMAKE_MATCH_1}")
endforeach()
set(VIDUDUDE_UPGRADE_CODE "{2BF4EC3B-803E-4C09-B255-3455E454ED62}")
