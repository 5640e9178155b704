# Installation (cmake --install, prefix /usr or /usr/local) and the Debian package
# (./dev package). An installed program reads its data from share/marrowdeck and writes
# into the user's XDG folders; see src/platform/program_files.h.
include(GNUInstallDirs)
set(MDK_SHARE_DIR ${CMAKE_INSTALL_DATADIR}/marrowdeck)
set(MDK_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)

install(TARGETS marrowdeck-cli marrowdeck-phonesim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET marrowdeck)
  install(TARGETS marrowdeck RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${MDK_PACKAGING_DIR}/marrowdeck.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${MDK_IMAGE_DIR}/4000.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps
          RENAME marrowdeck.png)
endif()
install(FILES ${MDK_DATA_FILES} DESTINATION ${MDK_SHARE_DIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/resources/Templates DESTINATION ${MDK_SHARE_DIR})
install(FILES ${MDK_PACKAGING_DIR}/marrowdeck-mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
        RENAME marrowdeck.xml)
install(FILES ${MDK_PACKAGING_DIR}/org.marrowdeck.Marrowdeck.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
# udev reads /usr/lib/udev/rules.d (Debian merges /lib into /usr); uaccess gives the logged-in user the phone.
install(FILES ${CMAKE_SOURCE_DIR}/resources/udev/70-marrowdeck.rules DESTINATION lib/udev/rules.d)

# Manual pages, gzipped as Debian keeps them: the GUI's is written by hand, the two
# command-line programs' come from their --help text.
set(MDK_MAN_DIR ${CMAKE_BINARY_DIR}/man)
add_custom_command(OUTPUT ${MDK_MAN_DIR}/marrowdeck.1.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${MDK_MAN_DIR}
  COMMAND sh -c "gzip -9n -c \"$0\" > \"$1\"" ${MDK_PACKAGING_DIR}/man/marrowdeck.1
          ${MDK_MAN_DIR}/marrowdeck.1.gz
  DEPENDS ${MDK_PACKAGING_DIR}/man/marrowdeck.1 VERBATIM)
set(MDK_MAN_PAGES ${MDK_MAN_DIR}/marrowdeck.1.gz)
foreach(entry "marrowdeck-cli|command-line file manager for Motorola P2k and USBLAN phones"
              "marrowdeck-phonesim|simulated Motorola P2k phone for tests and demonstrations")
  string(REPLACE "|" ";" parts "${entry}")
  list(GET parts 0 name)
  list(GET parts 1 summary)
  add_custom_command(OUTPUT ${MDK_MAN_DIR}/${name}.1.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${MDK_MAN_DIR}
    COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:${name}> -DNAME=${name}
            "-DSUMMARY=${summary}" -DVERSION=${PROJECT_VERSION} -DOUT=${MDK_MAN_DIR}/${name}.1
            -P ${MDK_PACKAGING_DIR}/man/help_to_man.cmake
    COMMAND gzip -9nf ${MDK_MAN_DIR}/${name}.1
    DEPENDS ${name} ${MDK_PACKAGING_DIR}/man/help_to_man.cmake VERBATIM)
  list(APPEND MDK_MAN_PAGES ${MDK_MAN_DIR}/${name}.1.gz)
endforeach()
add_custom_target(marrowdeck_man ALL DEPENDS ${MDK_MAN_PAGES})
install(FILES ${MDK_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# Shell completions, written by the tool from its command table. zsh reads Debian's
# packages' from vendor-completions, a local install's from site-functions.
set(MDK_COMPLETION_DIR ${CMAKE_BINARY_DIR}/completion)
add_custom_command(OUTPUT ${MDK_COMPLETION_DIR}/marrowdeck-cli ${MDK_COMPLETION_DIR}/_marrowdeck-cli
  COMMAND ${CMAKE_COMMAND} -E make_directory ${MDK_COMPLETION_DIR}
  COMMAND sh -c "\"$0\" --completion bash > \"$1\" && \"$0\" --completion zsh > \"$2\""
          $<TARGET_FILE:marrowdeck-cli> ${MDK_COMPLETION_DIR}/marrowdeck-cli
          ${MDK_COMPLETION_DIR}/_marrowdeck-cli
  DEPENDS marrowdeck-cli VERBATIM)
add_custom_target(marrowdeck_completion ALL
  DEPENDS ${MDK_COMPLETION_DIR}/marrowdeck-cli ${MDK_COMPLETION_DIR}/_marrowdeck-cli)
install(FILES ${MDK_COMPLETION_DIR}/marrowdeck-cli
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
# The prefix is known only when installing (the package installs into /usr).
install(CODE "
  set(zsh_dir site-functions)
  if(CMAKE_INSTALL_PREFIX STREQUAL \"/usr\")
    set(zsh_dir vendor-completions)
  endif()
  file(INSTALL ${MDK_COMPLETION_DIR}/_marrowdeck-cli
       DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/zsh/\${zsh_dir}\")")

# The package's documents: the licence in Debian's machine-readable form and the change
# log, gzipped as Debian keeps it.
set(MDK_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/marrowdeck)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/changelog.gz
  COMMAND sh -c "gzip -9n -c \"$0\" > \"$1\"" ${MDK_PACKAGING_DIR}/changelog
          ${CMAKE_BINARY_DIR}/changelog.gz
  DEPENDS ${MDK_PACKAGING_DIR}/changelog VERBATIM)
add_custom_target(marrowdeck_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/changelog.gz)
install(FILES ${MDK_PACKAGING_DIR}/copyright ${CMAKE_BINARY_DIR}/changelog.gz
        DESTINATION ${MDK_DOC_DIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME marrowdeck)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Marrowdeck developers <dev@marrowdeck.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "two-pane file manager for Motorola P2k and USBLAN phones")
# Debian shows the description's lines as they are: at most 80 characters each.
set(CPACK_PACKAGE_DESCRIPTION
  "Copies files and folders between the PC and a Motorola P2k phone, edits\nseems and runs batch packages. Includes a command-line tool and a simulated\nphone.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# Depends computed from the linked libraries by dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, shared-mime-info, desktop-file-utils")
set(CPACK_STRIP_FILES ON)
include(CPack)
