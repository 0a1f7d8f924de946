# What `cmake --install` puts where (GNUInstallDirs, relative to the prefix,
# so DESTDIR and any CMAKE_INSTALL_PREFIX work): the two programs, the
# desktop entry, the icon theme's icons, the AppStream metadata, the manual
# pages, bash completion and the license. The packages (Package.cmake) are
# made from the same install.

find_program(CHROMOBRISK_GZIP gzip REQUIRED)

set(docs_dir ${CMAKE_INSTALL_DATADIR}/doc/chromobrisk)
set(generated ${PROJECT_BINARY_DIR}/install)

# A file of the install made from a source file with @VARIABLE@ filled in.
function(chromobrisk_configured source generated_name)
  configure_file(${source} ${generated}/${generated_name} @ONLY)
endfunction()

# Gzipped as Debian wants it (best compression, no name or time stamp, so
# the bytes depend on the content alone); man and zless read it anywhere.
set(gzipped_files)
function(chromobrisk_gzipped generated_name)
  add_custom_command(OUTPUT ${generated}/${generated_name}.gz
    COMMAND ${CHROMOBRISK_GZIP} -9nkf ${generated}/${generated_name}
    DEPENDS ${generated}/${generated_name}
    VERBATIM)
  set(gzipped_files ${gzipped_files} ${generated}/${generated_name}.gz PARENT_SCOPE)
endfunction()

# ---- the programs ----------------------------------------------------------
install(TARGETS chromobrisk chromobrisk-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# ---- the desktop: menu entry, icons, AppStream -----------------------------
chromobrisk_configured(desktop/chromobrisk.desktop.in ${CHROMOBRISK_APP_ID}.desktop)
chromobrisk_configured(desktop/chromobrisk.metainfo.xml.in ${CHROMOBRISK_APP_ID}.metainfo.xml)
install(FILES ${generated}/${CHROMOBRISK_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${generated}/${CHROMOBRISK_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size 16 24 32 48 64 128 256)
  install(FILES app/icons/chromobrisk-${size}.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
    RENAME ${CHROMOBRISK_APP_ID}.png)
endforeach()
install(FILES app/icons/chromobrisk.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
  RENAME ${CHROMOBRISK_APP_ID}.svg)

# ---- the window's manual page ----------------------------------------------
chromobrisk_configured(docs/man/chromobrisk.1 man/chromobrisk.1)
chromobrisk_gzipped(man/chromobrisk.1)
install(FILES ${generated}/man/chromobrisk.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# ---- the batch tool's manual page and bash completion ----------------------
# Both made at build time from the option table the parser uses (cli/).
add_custom_command(OUTPUT ${generated}/man/chromobrisk-cli.1.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${generated}/man
  COMMAND ${CMAKE_COMMAND} -E copy ${CHROMOBRISK_CLI_MAN_PAGE} ${generated}/man/chromobrisk-cli.1
  COMMAND ${CHROMOBRISK_GZIP} -9nkf ${generated}/man/chromobrisk-cli.1
  DEPENDS ${CHROMOBRISK_CLI_MAN_PAGE} chromobrisk-cli-generated-docs
  VERBATIM)
list(APPEND gzipped_files ${generated}/man/chromobrisk-cli.1.gz)
install(FILES ${generated}/man/chromobrisk-cli.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CHROMOBRISK_CLI_COMPLETION} DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
  RENAME chromobrisk-cli)

# ---- license, copyright and changelog --------------------------------------
# The Debian copyright file carries the license text of LICENSE, indented
# as its format wants (a lone "." for an empty line).
file(READ LICENSE license_text)
string(REGEX REPLACE "^MIT License\n\n" "" license_text "${license_text}")
string(REGEX REPLACE "\n$" "" license_text "${license_text}")
string(REGEX REPLACE "\n\n" "\n.\n" license_text "${license_text}")
string(REPLACE "\n" "\n " license_text "${license_text}")
set(CHROMOBRISK_LICENSE_PARAGRAPH " ${license_text}")
chromobrisk_configured(packaging/debian/copyright.in copyright)

# The changelog in Debian's format, dated as that format wants.
execute_process(COMMAND date -u -R -d ${CHROMOBRISK_RELEASE_DATE}
  OUTPUT_VARIABLE CHROMOBRISK_RELEASE_DATE_RFC5322 OUTPUT_STRIP_TRAILING_WHITESPACE
  COMMAND_ERROR_IS_FATAL ANY)
chromobrisk_configured(packaging/debian/changelog.in changelog)
chromobrisk_gzipped(changelog)

install(FILES LICENSE ${generated}/copyright ${generated}/changelog.gz DESTINATION ${docs_dir})

add_custom_target(chromobrisk_install_files ALL DEPENDS ${gzipped_files})
