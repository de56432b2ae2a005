# The desktop program's Qt side, included from app/ when Qt 6 Widgets and Test
# are found. The toolkit's logic (app/toolkit) is built without Qt.
file(GLOB ORVELLE_WIDGET_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/widgets/*.cpp)
add_library(orvelle_widgets STATIC ${ORVELLE_WIDGET_SOURCES})
set_target_properties(orvelle_widgets PROPERTIES AUTOMOC ON)
target_link_libraries(orvelle_widgets PUBLIC orvelle_toolkit Qt6::Widgets)
# The widget tests live under tests/ and need Qt's test library there too.
set_target_properties(Qt6::Test PROPERTIES IMPORTED_GLOBAL TRUE)

# ---- the desktop program ----------------------------------------------------
# The forms are a library so that the tests drive the very same windows.
file(GLOB ORVELLE_FORM_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/forms/*.cpp)
add_library(orvelle_forms STATIC ${ORVELLE_FORM_SOURCES})
set_target_properties(orvelle_forms PROPERTIES AUTOMOC ON)
target_compile_definitions(orvelle_forms PRIVATE ORVELLE_SOURCE_README="${CMAKE_SOURCE_DIR}/README.md")
target_link_libraries(orvelle_forms PUBLIC orvelle_widgets orvelle_settings orvelle_codecs orvelle_recipe
                      orvelle_generator orvelle_maps Qt6::Widgets)

add_executable(orvelle main.cpp)
target_link_libraries(orvelle PRIVATE orvelle_forms)

# The desktop icon is drawn by the program itself, so there is no image file
# to keep in step with the window icon.
add_custom_command(TARGET orvelle POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen $<TARGET_FILE:orvelle>
          --write-icon ${CMAKE_CURRENT_BINARY_DIR}/orvelle.png
  VERBATIM)

include(GNUInstallDirs)
install(TARGETS orvelle RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/resources/orvelle.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/orvelle.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps)
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/orvelle)
