# Runs last in `cmake --install`: writes the list of every file the install
# put in place, as absolute paths on the target system (DESTDIR left off),
# to share/nuvexa/install-manifest.txt, which is itself on the list.
# uninstall.sh, installed beside it, removes exactly these files.

set(nuvexa_manifest_path "${CMAKE_INSTALL_PREFIX}/${NUVEXA_MANIFEST_DATADIR}/nuvexa/install-manifest.txt")
set(nuvexa_manifest "")
foreach(nuvexa_file IN LISTS CMAKE_INSTALL_MANIFEST_FILES nuvexa_manifest_path)
  if(NOT "$ENV{DESTDIR}" STREQUAL "")
    string(LENGTH "$ENV{DESTDIR}" nuvexa_destdir_length)
    string(SUBSTRING "${nuvexa_file}" 0 ${nuvexa_destdir_length} nuvexa_head)
    if(nuvexa_head STREQUAL "$ENV{DESTDIR}")
      string(SUBSTRING "${nuvexa_file}" ${nuvexa_destdir_length} -1 nuvexa_file)
    endif()
  endif()
  string(REGEX REPLACE "//+" "/" nuvexa_file "${nuvexa_file}")
  string(APPEND nuvexa_manifest "${nuvexa_file}\n")
endforeach()
file(WRITE "$ENV{DESTDIR}${nuvexa_manifest_path}" "${nuvexa_manifest}")
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "$ENV{DESTDIR}${nuvexa_manifest_path}")
message(STATUS "Installing: $ENV{DESTDIR}${nuvexa_manifest_path}")
