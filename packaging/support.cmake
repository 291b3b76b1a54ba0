# Where users and IT departments turn for help: the one place for the
# uninstall entry's help link and contact (ARPHELPLINK, ARPCONTACT) and the
# release's README.txt. Read by cmake/dist_archive.cmake and dist_msi.cmake.
set(VIDUDUDE_HELP_LINK "https://www.example.com/vidudude/support")
set(VIDUDUDE_CONTACT "Beispiel Bausoftware GmbH, Support, support@example.com")
set(VIDUDUDE_UPGRADE_CODE "{2BF4EC3B-803E-4C09-B255-3455E454ED62}")
