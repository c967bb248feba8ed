# What makes the installed tree a package a Debian user can trust: the
# licence, the change log, manual pages, shell completion, desktop metadata,
# and the CPack settings of the .deb itself (cpack -G DEB in the build folder;
# ./brinmoor.sh package does it all).

include(${CMAKE_CURRENT_LIST_DIR}/News.cmake)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/NEWS)

set(BRINMOOR_PACKAGE_RELEASE 1)
set(BRINMOOR_MAINTAINER "Kelmarsh <${BRINMOOR_SUPPORT_EMAIL}>")
set(BRINMOOR_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/brinmoor)
set(packaging_out ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${packaging_out})

brinmoor_read_news(${PROJECT_SOURCE_DIR}/NEWS news_versions)
list(GET news_versions 0 news_latest)
if(NOT news_latest STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "NEWS starts with ${news_latest}, the project is ${PROJECT_VERSION}: "
                      "add the release to NEWS")
endif()
# The manual page's date is the release's, not the day it was built.
brinmoor_rfc_date(${NEWS_DATE_${news_latest}} news_latest_date)

# The Debian change log and the metadata's releases, newest first.
set(changelog "")
set(metainfo_releases "")
foreach(v IN LISTS news_versions)
  brinmoor_rfc_date(${NEWS_DATE_${v}} date)
  string(APPEND changelog "brinmoor (${v}-${BRINMOOR_PACKAGE_RELEASE}) unstable; urgency=medium\n\n")
  string(APPEND metainfo_releases "    <release version=\"${v}\" date=\"${NEWS_DATE_${v}}\">\n"
                                  "      <description>\n        <ul>\n")
  foreach(item IN LISTS NEWS_ITEMS_${v})
    brinmoor_wrap("${item}" 78 "  * " "    " wrapped)
    brinmoor_news_text("${wrapped}" wrapped)
    string(APPEND changelog "${wrapped}")
    brinmoor_news_text("${item}" text)
    string(REPLACE "&" "&amp;" text "${text}")
    string(REPLACE "<" "&lt;" text "${text}")
    string(APPEND metainfo_releases "          <li>${text}</li>\n")
  endforeach()
  string(APPEND changelog "\n -- ${BRINMOOR_MAINTAINER}  ${date} 00:00:00 +0000\n\n")
  string(APPEND metainfo_releases "        </ul>\n      </description>\n    </release>\n")
endforeach()
string(STRIP "${metainfo_releases}" metainfo_releases)
string(REGEX REPLACE "\n+$" "\n" changelog "${changelog}")
file(CONFIGURE OUTPUT ${packaging_out}/changelog.Debian CONTENT "${changelog}" @ONLY)

# Compressed as Debian wants its documentation and manual pages: the most,
# and without a time stamp, so that the same sources give the same package.
find_program(GZIP_EXECUTABLE gzip REQUIRED)
function(brinmoor_gzip source output)
  add_custom_command(OUTPUT ${output}
    COMMAND ${GZIP_EXECUTABLE} -9 -n -c ${source} > ${output}
    DEPENDS ${source} ${ARGN}
    VERBATIM)
endfunction()

brinmoor_gzip(${packaging_out}/changelog.Debian ${packaging_out}/changelog.Debian.gz)
set(packaging_outputs ${packaging_out}/changelog.Debian.gz)

# Manual pages. brinmoor-count's is made from its own --help and --version,
# so it names every option the program takes; the sections --help does not
# have come from docs/man/brinmoor-count.h2m.
find_program(HELP2MAN_EXECUTABLE help2man)
set(man_pages ${packaging_out}/brinmoor.1.gz)
brinmoor_gzip(${PROJECT_SOURCE_DIR}/docs/man/brinmoor.1 ${packaging_out}/brinmoor.1.gz)
if(HELP2MAN_EXECUTABLE)
  add_custom_command(OUTPUT ${packaging_out}/brinmoor-count.1
    COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${news_latest_date_EPOCH}
            ${HELP2MAN_EXECUTABLE} --no-info --section=1
            "--name=count the lines of text files"
            --include=${PROJECT_SOURCE_DIR}/docs/man/brinmoor-count.h2m
            --output=${packaging_out}/brinmoor-count.1
            $<TARGET_FILE:brinmoor-count>
    DEPENDS brinmoor-count ${PROJECT_SOURCE_DIR}/docs/man/brinmoor-count.h2m
    VERBATIM)
  brinmoor_gzip(${packaging_out}/brinmoor-count.1 ${packaging_out}/brinmoor-count.1.gz)
  list(APPEND man_pages ${packaging_out}/brinmoor-count.1.gz)
else()
  message(WARNING "help2man not found: brinmoor-count gets no manual page (apt-get install help2man)")
endif()
list(APPEND packaging_outputs ${man_pages})

# The desktop metadata, its releases from NEWS; its screenshot is the
# README's, docs/window.png, as the project's web site serves it.
set(BRINMOOR_HOMEPAGE_URL "https://brinmoor.example/" CACHE STRING
    "The project's web site (ending in /), named in the desktop metadata")
configure_file(${PROJECT_SOURCE_DIR}/data/com.kelmarsh.Brinmoor.metainfo.xml.in
               ${packaging_out}/com.kelmarsh.Brinmoor.metainfo.xml @ONLY)

add_custom_target(brinmoor_packaging ALL DEPENDS ${packaging_outputs})

configure_file(${PROJECT_SOURCE_DIR}/packaging/copyright ${packaging_out}/copyright @ONLY)
install(FILES ${packaging_out}/copyright ${packaging_out}/changelog.Debian.gz
  DESTINATION ${BRINMOOR_DOC_DIR})
install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/data/completion/brinmoor-count
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
install(FILES ${PROJECT_SOURCE_DIR}/data/completion/_brinmoor-count
  DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions)
install(FILES ${packaging_out}/com.kelmarsh.Brinmoor.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
# lintian's remarks that do not apply, each with the reason.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/lintian-overrides
  DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME brinmoor)

# A stripped install (cpack, cmake --install --strip) also drops the
# compiler's version notes, as Debian's own packages do; the symbols are gone
# already. The programs' install rules have run by now.
find_program(OBJCOPY_EXECUTABLE NAMES ${CMAKE_OBJCOPY} objcopy)
if(OBJCOPY_EXECUTABLE)
  install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
      foreach(program brinmoor brinmoor-count)
        execute_process(COMMAND \"${OBJCOPY_EXECUTABLE}\" --remove-section=.comment --remove-section=.note
          \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/\${program}\")
      endforeach()
    endif()")
endif()

# The .deb. Its dependencies are read off the programs' shared libraries.
set(CPACK_PACKAGE_NAME brinmoor)
set(CPACK_PACKAGE_VENDOR "Kelmarsh")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Counts the lines of many text files in one go")
# The long description; CPack puts the summary above it.
set(CPACK_PACKAGE_DESCRIPTION "Brinmoor counts the lines of many text files at once. In its window you
fill a file list by picking files, scanning a folder for one extension,
dropping files and folders or loading the sample files; choose whether blank
lines count, keep a list of words that leave out the lines holding them, and
get one total or one count per file. The results can be saved as an aligned
text file, opened as a workbook in a spreadsheet program or copied to the
clipboard.

The console program brinmoor-count uses the same engine for scripts: files,
folders and lists of paths in, rows of counts out as text, CSV or JSON.")
set(CPACK_PACKAGE_CONTACT "${BRINMOOR_SUPPORT_EMAIL}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${BRINMOOR_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${BRINMOOR_PACKAGE_RELEASE})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window is laid out for this font; any other stands in with wider labels.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "libreoffice-calc")
set(CPACK_STRIP_FILES ON)
include(CPack)
