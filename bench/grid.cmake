# The manager window's grid on a large group: build/bench/grid_bench.
if(TARGET orvanta_registry_ui)
    add_executable(grid_bench ${CMAKE_CURRENT_LIST_DIR}/grid_bench.cpp)
    target_link_libraries(grid_bench PRIVATE orvanta_registry_ui SQLite::SQLite3 Qt6::Widgets)
endif()
