# Run by CPack for each package, between installing into its staging folder
# and packing it: what differs between the packages.
set(staged "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/${CPACK_PACKAGING_INSTALL_PREFIX}")

# The programs stripped as Debian strips them: no symbols, and none of the
# compiler's notes.
foreach(program chromobrisk chromobrisk-cli)
  execute_process(COMMAND "${CPACK_CHROMOBRISK_STRIP}" --remove-section=.comment --remove-section=.note
                          "${staged}/${CPACK_CHROMOBRISK_BINDIR}/${program}"
                  COMMAND_ERROR_IS_FATAL ANY)
endforeach()

if(CPACK_GENERATOR STREQUAL "DEB")
  # Debian's copyright file carries the license; a second copy is clutter.
  file(REMOVE "${staged}/${CPACK_CHROMOBRISK_DOCS_DIR}/LICENSE")
elseif(CPACK_GENERATOR STREQUAL "TGZ")
  # The portable program saves beside itself, as in the build tree.
  file(MAKE_DIRECTORY "${staged}/${CPACK_CHROMOBRISK_BINDIR}/SAVE")
endif()
