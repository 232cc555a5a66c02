# The main window, its dialogs, the HTTP client and the network commands.
add_library(corvane_ui STATIC
  FeedDiscovery.cpp
  HttpClient.cpp
  UnitFrmAddItemFromUrl.cpp
  UnitFrmAppointOpmlUrl.cpp
  UnitFrmBase.cpp
  UnitFrmDialogs.cpp
  UnitFrmMain.cpp
  UnitFrmMainImages.cpp
  UnitFrmOpmlProperty.cpp
  UnitFrmOption.cpp
  UnitFrmSearchBulkfeeds.cpp
)
target_include_directories(corvane_ui PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(corvane_ui PUBLIC corvane_core Qt6::Widgets CURL::libcurl)

add_executable(Corvane main.cpp)
target_link_libraries(Corvane PRIVATE corvane_ui)
