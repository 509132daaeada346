# Run by cpack after it has made the packages. CPack writes the debug symbol package's md5sums
# with the absolute paths of its staging directory and gives the package no documents; this
# rewrites the package as dpkg and lintian expect: md5sums relative to the root, the .debug
# files not executable, and /usr/share/doc/<name>-dbgsym a link to the main package's
# documents (the package depends on the main one of the same version).
foreach(pkg IN LISTS CPACK_PACKAGE_FILES)
  if(NOT pkg MATCHES "-dbgsym_[^/]*\\.ddeb$")
    continue()
  endif()
  set(tree "${CPACK_TOPLEVEL_DIRECTORY}/dbgsym-repair")
  file(REMOVE_RECURSE "${tree}")
  execute_process(COMMAND dpkg-deb -R "${pkg}" "${tree}" COMMAND_ERROR_IS_FATAL ANY)

  file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE "${tree}" "${tree}/usr/*")
  list(SORT files)
  set(sums "")
  foreach(f IN LISTS files)
    file(MD5 "${tree}/${f}" md5)
    string(APPEND sums "${md5}  ${f}\n")
    file(CHMOD "${tree}/${f}" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  endforeach()
  file(WRITE "${tree}/DEBIAN/md5sums" "${sums}")
  file(CHMOD "${tree}/DEBIAN/md5sums" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

  file(MAKE_DIRECTORY "${tree}/usr/share/doc")
  file(CREATE_LINK "${CPACK_PACKAGE_NAME}" "${tree}/usr/share/doc/${CPACK_PACKAGE_NAME}-dbgsym" SYMBOLIC)

  execute_process(COMMAND dpkg-deb --root-owner-group -b "${tree}" "${pkg}"
                  OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE "${tree}")
endforeach()
