# The desktop program's Qt side, included from app/ when Qt 6 Widgets and Test
# are found. The toolkit's logic (app/toolkit) is built without Qt.
file(GLOB ORVELLE_WIDGET_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/widgets/*.cpp)
add_library(orvelle_widgets STATIC ${ORVELLE_WIDGET_SOURCES})
set_target_properties(orvelle_widgets PROPERTIES AUTOMOC ON)
target_link_libraries(orvelle_widgets PUBLIC orvelle_toolkit Qt6::Widgets)
# The widget tests live under tests/ and need Qt's test library there too.
set_target_properties(Qt6::Test PROPERTIES IMPORTED_GLOBAL TRUE)
