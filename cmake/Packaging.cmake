# Installation under a prefix (cmake --install build --prefix DIR) and the Debian
# package (cd build && cpack -G DEB). Included after every folder is added, so the
# program targets are known.
include(GNUInstallDirs)

set(_res ${PROJECT_SOURCE_DIR}/resources)
set(_apps ${CMAKE_INSTALL_DATADIR}/applications)
set(_icons ${CMAKE_INSTALL_DATADIR}/icons/hicolor)

if(TARGET Vorelplay)
  install(TARGETS Vorelplay RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
if(TARGET vorel-export)
  install(TARGETS vorel-export RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
# Hotpad starts Vorelplay from beside its own executable.
if(TARGET Hotpad)
  install(TARGETS Hotpad RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${_res}/desktop/vorel-hotpad.desktop DESTINATION ${_apps})
endif()
install(FILES ${_res}/desktop/vorel.desktop DESTINATION ${_apps})
install(FILES ${_res}/desktop/vorel.svg DESTINATION ${_icons}/scalable/apps)
foreach(size 48 256)
  install(FILES ${_res}/desktop/vorel-${size}.png DESTINATION ${_icons}/${size}x${size}/apps RENAME vorel.png)
endforeach()
# The same places platform/installpaths.cpp looks for them.
install(DIRECTORY ${_res}/demo/ DESTINATION ${VOREL_INSTALL_DEMO_DIR})
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${VOREL_INSTALL_DOC_DIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vorel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "sentence repeater for language learners")
set(CPACK_PACKAGE_DESCRIPTION "Vorel plays a WAV or MP3 recording sentence by sentence, each sentence\n\
as often as the learner chooses with a pause to repeat it after each reading,\n\
at 60 to 140 per cent speed without changing the pitch. It splits the recording\n\
at its pauses or reads the breakpoints from an .lrc file beside it. Hotpad maps\n\
global keys onto its transport buttons.")
# No project address exists yet; .invalid is reserved for names that resolve nowhere.
set(CPACK_PACKAGE_CONTACT "Vorel developers <vorel@example.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # vorel_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_SECTION education)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The user interface is Chinese; without a CJK font it shows boxes.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wqy-microhei")
# The two audio libraries travel compressed inside Vorelplay, where shlibdeps
# cannot see them; their own dependencies are added at packaging time.
if(TARGET bass AND TARGET vorelfx)
  file(GENERATE OUTPUT ${PROJECT_BINARY_DIR}/CPackEmbeddedLibraries.cmake
    CONTENT "set(VOREL_EMBEDDED_LIBRARIES \"$<TARGET_FILE:bass>;$<TARGET_FILE:vorelfx>\")\n")
  set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/PackagingEmbeddedDeps.cmake)
  set(CPACK_VOREL_EMBEDDED_LIST ${PROJECT_BINARY_DIR}/CPackEmbeddedLibraries.cmake)
endif()
include(CPack)
