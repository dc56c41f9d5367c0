# What a Debian package holds beside the program, and the package itself
# (cpack -G DEB). Included from the top-level CMakeLists.txt after the
# program's own install rules.
#
# Reproducible: the compressed files carry no name or time stamp (gzip -n),
# and CPack dates every archive member by SOURCE_DATE_EPOCH, which defaults
# to the date of the newest changelog entry.

set(RASTRA_HOMEPAGE "https://rastra.vantor.example/")
set(RASTRA_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/rastra)  # Debian names it after the package
set(RASTRA_CHANGELOG ${CMAKE_CURRENT_SOURCE_DIR}/packaging/changelog)

# The man page and the changelog are installed gzipped, as Debian wants them.
find_program(RASTRA_GZIP gzip)
function(rastra_gzip source output)
  add_custom_command(OUTPUT ${output}
    COMMAND ${RASTRA_GZIP} -9 -n -c ${source} > ${output}
    DEPENDS ${source}
    COMMENT "Compressing ${source}")
endfunction()
if(RASTRA_GZIP)
  rastra_gzip(${CMAKE_CURRENT_SOURCE_DIR}/docs/rastra.1 ${CMAKE_CURRENT_BINARY_DIR}/rastra.1.gz)
  rastra_gzip(${RASTRA_CHANGELOG} ${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian.gz)
  add_custom_target(rastra_compressed_docs ALL
    DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/rastra.1.gz ${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian.gz)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/rastra.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian.gz DESTINATION ${RASTRA_DOC_DIR})
else()
  install(FILES docs/rastra.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
install(FILES packaging/copyright DESTINATION ${RASTRA_DOC_DIR})

# Desktop integration: the entry, the SBMP MIME type it opens, the AppStream
# description and the icon as SVG and in the sizes icon themes look up.
install(FILES packaging/rastra.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES packaging/rastra-mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME rastra.xml)
install(FILES packaging/rastra.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo
        RENAME example.vantor.rastra.metainfo.xml)
install(FILES packaging/rastra.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 16 32 48 64 128 256)
  install(FILES packaging/icons/rastra-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME rastra.png)
endforeach()

# The compiler's identification in .comment is of no use in the package.
find_program(RASTRA_OBJCOPY NAMES ${CMAKE_OBJCOPY} objcopy)
if(RASTRA_OBJCOPY)
  install(CODE "execute_process(COMMAND \"${RASTRA_OBJCOPY}\" --remove-section=.comment
    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/$<TARGET_FILE_NAME:rastra>\"
    COMMAND_ERROR_IS_FATAL ANY)")
  if(RASTRA_MODULES)
    foreach(module rastra_settings_module rastra_window_module)
      install(CODE "execute_process(COMMAND \"${RASTRA_OBJCOPY}\" --remove-section=.comment
        \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${RASTRA_MODULE_DIR}/$<TARGET_FILE_NAME:${module}>\"
        COMMAND_ERROR_IS_FATAL ANY)")
    endforeach()
  endif()
  # The core library for other tools: without debug information, which would
  # make it many times larger, and without the compiler's notes.
  install(CODE "execute_process(COMMAND \"${RASTRA_OBJCOPY}\" --strip-debug --remove-section=.comment
    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/$<TARGET_FILE_NAME:rastra_core>\"
    COMMAND_ERROR_IS_FATAL ANY)")
endif()

# Without an epoch of its own, the package is dated by its newest changelog entry.
file(STRINGS ${RASTRA_CHANGELOG} trailer REGEX "^ -- .*>  " LIMIT_COUNT 1)
string(REGEX REPLACE "^ -- .*>  " "" RASTRA_CHANGELOG_DATE "${trailer}")
set(RASTRA_CPACK_CONFIG ${CMAKE_CURRENT_BINARY_DIR}/RastraCPackOptions.cmake)
file(WRITE ${RASTRA_CPACK_CONFIG}
  "if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})\n"
  "  execute_process(COMMAND date -u -d \"${RASTRA_CHANGELOG_DATE}\" +%s\n"
  "                  OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed)\n"
  "  if(NOT failed)\n"
  "    set(ENV{SOURCE_DATE_EPOCH} \"\${epoch}\")\n"
  "  endif()\n"
  "endif()\n")

set(CPACK_GENERATOR DEB)
set(CPACK_PROJECT_CONFIG_FILE ${RASTRA_CPACK_CONFIG})
set(CPACK_PACKAGE_NAME rastra)
set(CPACK_PACKAGE_VENDOR "Vantor")
set(CPACK_PACKAGE_CONTACT "Vantor <rastra@vantor.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Converts images into C data and streams for the Lumar graphics library")
set(CPACK_PACKAGE_DESCRIPTION_FILE ${CMAKE_CURRENT_SOURCE_DIR}/packaging/description.txt)
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_CURRENT_SOURCE_DIR}/LICENSE)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${RASTRA_HOMEPAGE})
# The revision of packaging/changelog's newest entry. "0vantor" marks a package
# made outside Debian: a Debian revision 1 of the same version sorts above it.
set(CPACK_DEBIAN_PACKAGE_RELEASE 0vantor1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_STRIP_FILES ON)  # the debug information would make the package many times larger
include(CPack)
