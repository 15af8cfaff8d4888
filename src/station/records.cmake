# The clone station's job records (SQLite through Qt SQL); included from src/CMakeLists.txt.
find_package(Qt6 REQUIRED COMPONENTS Sql)
add_library(camera_station_records STATIC station/records.cpp station/records.h)
target_include_directories(camera_station_records PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(camera_station_records PUBLIC camera_link Qt6::Core Qt6::Sql)
