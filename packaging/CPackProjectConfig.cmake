# Read by cpack once per generator: the Debian package takes the system layout, every other
# generator (the .tar.gz) the portable folder.
if(CPACK_GENERATOR STREQUAL "DEB")
  set(CPACK_INSTALL_CMAKE_PROJECTS "${CPACK_KESTREL_SYSTEM_PROJECT}")
else()
  set(CPACK_INSTALL_CMAKE_PROJECTS "${CPACK_KESTREL_BUNDLE_PROJECT}")
endif()
