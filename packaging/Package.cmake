# The Debian package of the whole system, built by CPack from the install:
#   cmake --preset default && cmake --build --preset default
#   cd build/default && cpack -G DEB
# Its maintainer scripts (debian/*.in) do at installation and removal what
# the install does for a root install (udev, DKMS, the user service), which
# the staging install the package is made from leaves out.

file(STRINGS ${PROJECT_SOURCE_DIR}/NuvexaEventDriver/dkms.conf nuvexa_dkms_lines REGEX "^PACKAGE_(NAME|VERSION)=")
foreach(line ${nuvexa_dkms_lines})
  if(line MATCHES "^PACKAGE_NAME=\"(.*)\"$")
    set(NUVEXA_KERNEL_FILTER_NAME ${CMAKE_MATCH_1})
  elseif(line MATCHES "^PACKAGE_VERSION=\"(.*)\"$")
    set(NUVEXA_KERNEL_FILTER_VERSION ${CMAKE_MATCH_1})
  endif()
endforeach()
set(NUVEXA_AGENT_UNIT nuvexa-agent.service)
foreach(script postinst prerm postrm)
  configure_file(debian/${script}.in ${PROJECT_BINARY_DIR}/packaging/debian/${script} @ONLY
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME nuvexa-device-controller)
set(CPACK_PACKAGE_VENDOR "Nuvexa")
set(CPACK_PACKAGE_CONTACT "Nuvexa Device Controller maintainers <maintainers@nuvexa.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Button actions for Nuvexa mice and presenters")
set(CPACK_PACKAGE_DESCRIPTION "The agent that performs the mapped actions of the extra buttons, its \
settings application, the command-line tool nuvexactl, the uninstaller, and the kernel filter (built by DKMS) \
that keeps the devices' own key events out of the desktop.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# The files go where the package's paths say, under the staging root (DESTDIR),
# never under a prefix of the build machine; the kernel filter's sources go
# to /usr/src whatever the prefix.
set(CPACK_SET_DESTDIR ON)
# /usr whatever the build's prefix: udev reads rules only from /usr/lib (and
# /etc), and a package has no business in /usr/local.
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# Shared libraries from the programs themselves; the tools the maintainer
# scripts and uninstall.sh call, by hand.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "dkms, pkexec | policykit-1, systemd, udev, kmod")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "linux-headers-amd64 | linux-headers-generic")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${PROJECT_BINARY_DIR}/packaging/debian/postinst
  ${PROJECT_BINARY_DIR}/packaging/debian/prerm
  ${PROJECT_BINARY_DIR}/packaging/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
