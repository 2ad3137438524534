# Install rules and the Debian package (cpack -G DEB; scripts/package).
# Only the three programs and their data are installed: tests, benchmarks
# and the emulator generator never are.
include(GNUInstallDirs)

set(LUMIVANE_APP_ID com.zoret.Lumivane)
set(LUMIVANE_RELEASE_DATE 2026-12-07)
set(LUMIVANE_RELEASE_DATE_RFC2822 "Mon, 07 Dec 2026 00:00:00 +0000")
set(LUMIVANE_HOMEPAGE "https://zoret.example/lumivane" CACHE STRING "Project home page")
set(LUMIVANE_SCREENSHOT_URL "${LUMIVANE_HOMEPAGE}/screenshot.png" CACHE STRING
    "Where docs/screenshot.png is published, for the AppStream metainfo")
set(LUMIVANE_MAINTAINER "Lumivane maintainers <maintainers@zoret.example>" CACHE STRING
    "Maintainer of the Debian package")
# udev reads rules from /usr/lib/udev/rules.d, never from the multiarch
# library folder that GNUInstallDirs gives Debian.
set(LUMIVANE_UDEV_RULES_DIR lib/udev/rules.d CACHE STRING "udev rules folder, relative to the prefix")

set(packaging ${CMAKE_CURRENT_LIST_DIR})
set(generated ${CMAKE_BINARY_DIR}/packaging)
set(datadir ${CMAKE_INSTALL_DATADIR})

install(TARGETS Lumivane lumivane-cli lumivane-keypad-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The data folder's place relative to bin is compiled into the programs (src/app).
install(FILES ${LUMIVANE_EMULATORS} DESTINATION ${datadir}/lumivane/emulators)
install(FILES ${CMAKE_SOURCE_DIR}/samples/Kt90NewConfig.pos DESTINATION ${datadir}/lumivane)
install(FILES ${packaging}/linux/70-lumivane.rules DESTINATION ${LUMIVANE_UDEV_RULES_DIR})

# Desktop integration.
install(FILES ${packaging}/linux/${LUMIVANE_APP_ID}.desktop DESTINATION ${datadir}/applications)
configure_file(${packaging}/linux/${LUMIVANE_APP_ID}.metainfo.xml.in
               ${generated}/${LUMIVANE_APP_ID}.metainfo.xml @ONLY)
install(FILES ${generated}/${LUMIVANE_APP_ID}.metainfo.xml DESTINATION ${datadir}/metainfo)
install(FILES ${packaging}/linux/lumivane-mime.xml DESTINATION ${datadir}/mime/packages RENAME lumivane.xml)
foreach(size 16 32 48)
  install(FILES ${CMAKE_SOURCE_DIR}/src/ui/icons/lumivane-${size}.png
          DESTINATION ${datadir}/icons/hicolor/${size}x${size}/apps RENAME ${LUMIVANE_APP_ID}.png)
endforeach()
install(FILES ${CMAKE_SOURCE_DIR}/src/ui/icons/lumivane.svg
        DESTINATION ${datadir}/icons/hicolor/scalable/apps RENAME ${LUMIVANE_APP_ID}.svg)
install(FILES ${packaging}/linux/lumivane-cli.bash-completion
        DESTINATION ${datadir}/bash-completion/completions RENAME lumivane-cli)

# Highlighting of .pos sources, where each editor looks for it: GNOME Text
# Editor (GtkSourceView 5), gedit (GtkSourceView 4 up to gedit 44; the
# format is the same), Kate, KWrite, KDevelop and Qt Creator
# (KSyntaxHighlighting), Vim (Debian's system-wide vimfiles, which its
# runtimepath holds) and Neovim (the site folder of its runtimepath). The
# TextMate grammar has no system folder: editors that read one are pointed
# at it (docs/editors.md).
set(editors ${packaging}/editors)
foreach(version 4 5)
  install(FILES ${editors}/lumivane-pos.lang DESTINATION ${datadir}/gtksourceview-${version}/language-specs)
endforeach()
install(FILES ${editors}/lumivane-pos.xml DESTINATION ${datadir}/org.kde.syntax-highlighting/syntax)
foreach(vim_folder vim/vimfiles nvim/site)
  install(FILES ${editors}/vim/syntax/lumivane-pos.vim DESTINATION ${datadir}/${vim_folder}/syntax)
  install(FILES ${editors}/vim/ftdetect/lumivane-pos.vim DESTINATION ${datadir}/${vim_folder}/ftdetect)
endforeach()
install(FILES ${editors}/lumivane-pos.tmLanguage.json DESTINATION ${datadir}/lumivane)

# Manual pages and the Debian changelog, compressed as Debian wants them
# (gzip -9n: no name, no time stamp, so the package builds reproducibly).
configure_file(${packaging}/debian/changelog.in ${generated}/changelog @ONLY)
configure_file(${packaging}/debian/copyright ${generated}/copyright @ONLY)
set(compressed)
foreach(page Lumivane.1 lumivane-cli.1 lumivane-keypad-sim.1)
  list(APPEND compressed ${packaging}/man/${page})
endforeach()
list(APPEND compressed ${generated}/changelog)
set(compressed_outputs)
foreach(file ${compressed})
  get_filename_component(name ${file} NAME)
  add_custom_command(OUTPUT ${generated}/${name}.gz
    COMMAND sh -c "gzip -9nc \"$1\" > \"$2\"" sh ${file} ${generated}/${name}.gz
    DEPENDS ${file} VERBATIM)
  list(APPEND compressed_outputs ${generated}/${name}.gz)
endforeach()
add_custom_target(packaging_files ALL DEPENDS ${compressed_outputs})
foreach(page Lumivane.1 lumivane-cli.1 lumivane-keypad-sim.1)
  install(FILES ${generated}/${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
install(FILES ${generated}/copyright ${generated}/changelog.gz DESTINATION ${datadir}/doc/lumivane)

# The Debian package: lumivane_<version>_<arch>.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lumivane)
set(CPACK_PACKAGE_VENDOR Zoret)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# lintian finds no error and no warning. It notes (I:) only
# binary-has-unneeded-section .comment: the compiler's version note from the
# C runtime's start files, which CPack's plain strip keeps (dh_strip would
# remove it); it costs a few bytes and nothing else.
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${LUMIVANE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${LUMIVANE_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "download configurations into the Quintrel keypad")
# CPack puts the summary first and indents the text; an empty line becomes " .".
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Lumivane translates a keypad configuration, written as a .pos text file,
with the emulator file of a keyboard layout into a binary image, and
writes the image into the Quintrel programmable keypad over USB, RS232 or
the PC/AT keyboard line.

The package holds the window (Lumivane), a command-line companion for
scripts (lumivane-cli) and a simulated keypad on a pseudo-terminal
(lumivane-keypad-sim). A udev rule gives the logged-in user access to the
keypad's USB node.")
# Shared-library dependencies from dpkg-shlibdeps, plus xdg-mime for Edit's
# default editor.
# Without a desktop environment xdg-mime answers a file's type through
# mimetype (libfile-mimeinfo-perl), which reads the shared MIME database
# that knows .pos; file(1) would sniff <HEADER> as HTML.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "xdg-utils")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libfile-mimeinfo-perl, shared-mime-info")
# The MIME database, the desktop database and the icon cache are refreshed
# by the triggers of shared-mime-info, desktop-file-utils and
# gtk-update-icon-cache; the maintainer scripts only reload udev's rules.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${packaging}/debian/postinst ${packaging}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
