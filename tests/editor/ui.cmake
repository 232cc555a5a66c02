# Tests of the editor window, its dialogs, the HTTP client and network commands.
quillo_add_gtest(corvane_ui_units_test
  LIBS corvane_ui
  SOURCES
    ui/FeedDiscoveryTest.cpp
    ui/DialogPlacementTest.cpp
)
quillo_add_gtest(corvane_ui_window_test
  LIBS corvane_ui Qt6::Test
  SOURCES
    ui/FrmMainEditingTest.cpp
    ui/DialogsTest.cpp
    ui/ScreenshotTest.cpp
)
quillo_add_gtest(corvane_ui_network_test
  LIBS corvane_ui Qt6::Test
  SOURCES
    ui/NetworkCommandsTest.cpp
)

# Corvane and Quillo together: the saved feed list is served by the real gateway.
quillo_add_gtest(e2e_corvane_edits_quillo_feedlist
  LIBS corvane_ui Qt6::Test
  SOURCES
    ${CMAKE_SOURCE_DIR}/tests/e2e/CorvaneEditsQuilloFeedlistTest.cpp
)
add_dependencies(e2e_corvane_edits_quillo_feedlist Quillo)
