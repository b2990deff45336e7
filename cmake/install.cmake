# An installed copy keeps the run-time layout of build/bin under lib/trelvo-converter,
# with a link in bin, a desktop entry and an icon. The program folder is then read-only:
# the program writes only to the user's cache, settings and output folders.
set(TRELVO_INSTALL_DIR lib/trelvo-converter)
install(TARGETS trelvo-converter RUNTIME DESTINATION ${TRELVO_INSTALL_DIR})
install(TARGETS trelvo-encoder RUNTIME DESTINATION ${TRELVO_INSTALL_DIR}/app)
install(FILES ${CMAKE_SOURCE_DIR}/shell/Stylish.skf ${CMAKE_SOURCE_DIR}/shell/Help.html
        DESTINATION ${TRELVO_INSTALL_DIR})
install(FILES ${CMAKE_SOURCE_DIR}/encoder/Zune_Profile.ini DESTINATION ${TRELVO_INSTALL_DIR}/app)
install(CODE "
  set(link \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin/trelvo-converter\")
  file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin\")
  file(CREATE_LINK ../${TRELVO_INSTALL_DIR}/trelvo-converter \"\${link}\" SYMBOLIC)
  message(STATUS \"Installing: \${link}\")")
install(FILES ${CMAKE_SOURCE_DIR}/cmake/trelvo-converter.desktop DESTINATION share/applications)
install(FILES ${CMAKE_SOURCE_DIR}/cmake/org.trelvo.converter.metainfo.xml DESTINATION share/metainfo)
# Each icon is drawn at its own size (resources/), so hicolor/SxS holds an S by S picture.
foreach(size ${TRELVO_APP_ICON_SIZES})
  install(FILES ${CMAKE_BINARY_DIR}/resources/art/app_icon_${size}.png
          DESTINATION share/icons/hicolor/${size}x${size}/apps RENAME trelvo-converter.png)
endforeach()

# The manual page and the changelog, compressed the way Debian wants them: gzip -9 without
# a name or time stamp, so that two builds give the same bytes.
find_program(TRELVO_GZIP gzip REQUIRED)
set(docs_dir ${CMAKE_BINARY_DIR}/doc)
set(man_page ${docs_dir}/trelvo-converter.1.gz)
set(changelog ${docs_dir}/changelog.gz)
add_custom_command(OUTPUT ${man_page} ${changelog}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${docs_dir}
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/shell/trelvo-converter.1
          ${CMAKE_SOURCE_DIR}/cmake/changelog ${docs_dir}
  COMMAND ${TRELVO_GZIP} -9nf ${docs_dir}/trelvo-converter.1 ${docs_dir}/changelog
  DEPENDS ${CMAKE_SOURCE_DIR}/shell/trelvo-converter.1 ${CMAKE_SOURCE_DIR}/cmake/changelog
  COMMENT "Compressing the manual page and the changelog"
  VERBATIM)
add_custom_target(trelvo_docs ALL DEPENDS ${man_page} ${changelog})
install(FILES ${man_page} DESTINATION share/man/man1)
install(FILES ${changelog} ${CMAKE_SOURCE_DIR}/cmake/copyright
        DESTINATION share/doc/trelvo-converter)
