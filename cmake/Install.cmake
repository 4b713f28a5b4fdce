# `cmake --install`: the host loads the plug-in, its dialog script ("Quelmar.js") and its help
# page ("HelpFolder/index.html") from one folder, so everything goes into
# <prefix>/<libdir>/quelmar/. Halvorn.exe looks for Quelmar.so beside itself, so it goes there
# too, and <prefix>/bin/Halvorn.exe links to it.
include(GNUInstallDirs)
set(QUELMAR_INSTALL_DIR "${CMAKE_INSTALL_LIBDIR}/quelmar" CACHE STRING
    "Folder under the install prefix for Quelmar.so, Quelmar.js, HelpFolder/ and Halvorn.exe")

install(TARGETS Quelmar
    LIBRARY DESTINATION ${QUELMAR_INSTALL_DIR}
    RUNTIME DESTINATION ${QUELMAR_INSTALL_DIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/HelpFolder DESTINATION ${QUELMAR_INSTALL_DIR})

install(FILES ${CMAKE_BINARY_DIR}/bin/Quelmar.js ${CMAKE_BINARY_DIR}/bin/quelmar-defaults.params
    DESTINATION ${QUELMAR_INSTALL_DIR})

if(TARGET halvorn_host)
    install(TARGETS halvorn_host RUNTIME DESTINATION ${QUELMAR_INSTALL_DIR})
    if(NOT WIN32)
        # A relative link, so that the installed tree can be moved (and DESTDIR staging works).
        install(CODE "
            set(prefix \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
            file(MAKE_DIRECTORY \"\${prefix}/${CMAKE_INSTALL_BINDIR}\")
            file(RELATIVE_PATH target \"\${prefix}/${CMAKE_INSTALL_BINDIR}\"
                 \"\${prefix}/${QUELMAR_INSTALL_DIR}/Halvorn.exe\")
            message(STATUS \"Linking: \${prefix}/${CMAKE_INSTALL_BINDIR}/Halvorn.exe -> \${target}\")
            file(CREATE_LINK \"\${target}\" \"\${prefix}/${CMAKE_INSTALL_BINDIR}/Halvorn.exe\" SYMBOLIC)
        ")
    endif()
endif()
