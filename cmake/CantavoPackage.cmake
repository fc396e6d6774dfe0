# Installation and the Debian package (scripts/package.sh builds it).
#
# Layout: the program in /usr/bin (with the command name "cantavo" beside it), its private
# libraries in /usr/lib/cantavo, shipped documents in /usr/share/cantavo, the desktop
# entry, icons, AppStream metadata and manual page where desktops and man look for them.
# Nothing is written below /usr at run time: the program folder is the user's data folder.

set(cantavo_libraries
    Cantakit Cantacore Cantaskin Cantawave
    wmaconv wmaconv_codec msacm mmsystem winmsg midibytes virtualpiano rtthread)
foreach(library IN LISTS cantavo_libraries)
    # Installed side by side, each library finds the others beside itself.
    set_target_properties(${library} PROPERTIES INSTALL_RPATH "\$ORIGIN")
endforeach()
install(TARGETS ${cantavo_libraries} LIBRARY DESTINATION lib/cantavo)
install(TARGETS Cantavo cantavo-cli RUNTIME DESTINATION bin)

set(desktop "${PROJECT_SOURCE_DIR}/cantavo/desktop")
set(staged "${CMAKE_BINARY_DIR}/desktop")
file(MAKE_DIRECTORY "${staged}")

# The command users type and the desktop entry starts.
file(CREATE_LINK Cantavo "${staged}/cantavo" SYMBOLIC)
install(FILES "${staged}/cantavo" DESTINATION bin)

install(FILES "${desktop}/com.tolvarine.Cantavo.desktop" DESTINATION share/applications)
install(FILES "${desktop}/com.tolvarine.Cantavo.svg"
        DESTINATION share/icons/hicolor/scalable/apps)
configure_file("${desktop}/com.tolvarine.Cantavo.metainfo.xml"
               "${staged}/com.tolvarine.Cantavo.metainfo.xml" @ONLY)
install(FILES "${staged}/com.tolvarine.Cantavo.metainfo.xml" DESTINATION share/metainfo)

# The icon at the sizes desktops without SVG support use, rendered while building.
find_package(Qt6 REQUIRED COMPONENTS Svg)
add_executable(icon_png "${desktop}/IconPng.cpp")
target_link_libraries(icon_png PRIVATE Qt6::Gui Qt6::Svg)
set(icon_pngs)
foreach(size 48 64 128 256)
    set(png "${staged}/icons/${size}x${size}/com.tolvarine.Cantavo.png")
    add_custom_command(OUTPUT "${png}"
        COMMAND "${CMAKE_COMMAND}" -E make_directory "${staged}/icons/${size}x${size}"
        COMMAND "${CMAKE_COMMAND}" -E env QT_QPA_PLATFORM=offscreen
                $<TARGET_FILE:icon_png> "${desktop}/com.tolvarine.Cantavo.svg" ${size} "${png}"
        DEPENDS icon_png "${desktop}/com.tolvarine.Cantavo.svg"
        COMMENT "Rendering the ${size} px icon")
    list(APPEND icon_pngs "${png}")
    install(FILES "${png}" DESTINATION share/icons/hicolor/${size}x${size}/apps)
endforeach()
add_custom_target(cantavo_icons ALL DEPENDS ${icon_pngs})

# Debian's documentation: the copyright file, the changelog and the manual page, compressed
# as Debian policy asks (gzip -9n, no time stamp).
find_program(GZIP_PROGRAM gzip REQUIRED)
configure_file("${desktop}/changelog" "${staged}/changelog" @ONLY)
configure_file("${desktop}/cantavo.1" "${staged}/cantavo.1" @ONLY)
configure_file("${PROJECT_SOURCE_DIR}/cantavo/cli/cantavo-cli.1" "${staged}/cantavo-cli.1" @ONLY)
foreach(doc changelog cantavo.1 cantavo-cli.1)
    add_custom_command(OUTPUT "${staged}/${doc}.gz"
        COMMAND "${GZIP_PROGRAM}" -9nc "${staged}/${doc}" > "${staged}/${doc}.gz"
        DEPENDS "${staged}/${doc}"
        COMMENT "Compressing ${doc}")
endforeach()
add_custom_target(cantavo_package_docs ALL
    DEPENDS "${staged}/changelog.gz" "${staged}/cantavo.1.gz" "${staged}/cantavo-cli.1.gz")
install(FILES "${desktop}/copyright" "${staged}/changelog.gz" DESTINATION share/doc/cantavo)
install(FILES "${staged}/cantavo.1.gz" "${staged}/cantavo-cli.1.gz" DESTINATION share/man/man1)
# The program's own file name has the same page.
file(CREATE_LINK cantavo.1.gz "${staged}/Cantavo.1.gz" SYMBOLIC)
install(FILES "${staged}/Cantavo.1.gz" DESTINATION share/man/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME cantavo)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR Tolvarine)
set(CPACK_PACKAGE_CONTACT "Tolvarine <support@tolvarine.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "companion program of the ZQ31 digital piano")
set(CPACK_PACKAGE_DESCRIPTION
    "ZQ31 Concertino changes the sound settings of a ZQ31 digital piano
connected by USB and mirrors the changes made on the piano, records what
is played as Standard MIDI Files and plays MIDI files through the piano
with tempo and key control, records the piano's sound and plays WAV, MP3
and WMA files through it, runs a metronome with animated characters and
keeps every take in an album. A built-in virtual ZQ31 lets every function
be tried without the instrument.")
set(CPACK_PACKAGE_INSTALL_DIRECTORY cantavo)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME "${CANTAVO_PACKAGE_FILE}")
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE "${CANTAVO_DEB_ARCH}")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.tolvarine.example/cantavo")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The private libraries are found by their run path, not in a system folder.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "${CMAKE_BINARY_DIR}/bin")
# Japanese text needs its font; the sound fonts give the virtual ZQ31 its voice.
# FluidSynth is opened at run time (the virtual ZQ31's voice), so no binary names it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-ipafont-gothic, qt6-qpa-plugins, libfluidsynth3")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "timgm6mb-soundfont | fluid-soundfont-gm, xdg-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
file(WRITE "${CMAKE_BINARY_DIR}/package-file.txt" "${CANTAVO_PACKAGE_FILE}\n")
