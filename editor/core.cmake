add_library(corvane_core STATIC
  jconvert.cpp
  XmlScanner.cpp
  OpmlModel.cpp
  OpmlReader.cpp
  OpmlWriter.cpp
  CorvaneSettings.cpp
  IniFile.cpp
  Utf8Text.cpp
)
target_include_directories(corvane_core PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(corvane_core PUBLIC Qt6::Widgets)
