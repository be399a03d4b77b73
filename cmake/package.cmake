# The Debian package, made from the install rules:
#   cd build && cpack -G DEB      (or scripts/package)
# gives zr7k8-client_<version>_<architecture>.deb; dpkg-shlibdeps works out
# the library dependencies from the installed programs. The version is the
# changelog's (cmake/changelog.cmake); lintian checks the result
# (scripts/check-install).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zr7k8-client)
set(CPACK_PACKAGE_VENDOR "The ZR7K8 client authors")
set(CPACK_PACKAGE_CONTACT "The ZR7K8 client authors <authors@zr7k8.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "client for the ZR7K8-LC datasette sampling device")
set(CPACK_PACKAGE_DESCRIPTION
  "Previews and dumps Commodore datasette tapes through the ZR7K8-LC, a USB\n\
device that samples the drive's signal: a scrolling plot of pulse lengths,\n\
an activity light, and a list of the tape's files (ROM loader, Turbo Tape\n\
250, Turrican loader) with whether each read back clean, the tape's speed\n\
and pulse spread for adjusting the drive, and the stretches of tape that no\n\
format read. A dump keeps the device's sample stream and, for emulators, a\n\
TAP image with its index. Programs read back are saved as .prg files;\n\
several takes of a worn tape are combined byte by byte into rescued files;\n\
clean TAP images are written with every file read made afresh; dumps and\n\
TAP images made earlier can be opened again. The command line program zr7k8\n\
does every job from a terminal. Also reboots the device and replaces its\n\
firmware with avrdude.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/packages)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://zr7k8.example/)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The firmware update runs avrdude; everything else works without it.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS avrdude)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Reproducible bytes: CPack gives every member of the package the time
# SOURCE_DATE_EPOCH names, and sorts the members. Unless the caller set one,
# that is the time of the changelog's top entry, as with Debian's own tools.
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/CPackSourceDateEpoch.cmake CONTENT
  "if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})\n  set(ENV{SOURCE_DATE_EPOCH} ${ZR7K8_RELEASE_EPOCH})\nendif()\n")
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/CPackSourceDateEpoch.cmake)
include(CPack)

# Everything the install takes and nothing else (no test, benchmark or
# simulator): scripts/package builds this target, and configures its folder
# with CMAKE_SKIP_INSTALL_ALL_DEPENDENCY so that cpack does not build the
# rest first.
add_custom_target(shipped)
foreach(target zr7k8-client zr7k8 translations desktop_icons compressed_documents)
  if(TARGET ${target})
    add_dependencies(shipped ${target})
  endif()
endforeach()
