add_executable(Corvane main.cpp)
target_link_libraries(Corvane PRIVATE corvane_core)
