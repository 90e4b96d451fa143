# Copy throughput with the "Stato lettori" window open and closed: build/bench/status_window_bench.
if(TARGET orvanta_registry_ui AND TARGET orvanta_test_support)
    add_executable(status_window_bench ${CMAKE_CURRENT_LIST_DIR}/status_window_bench.cpp)
    target_link_libraries(status_window_bench PRIVATE orvanta_registry_ui orvanta_test_support
                                                      SQLite::SQLite3 Qt6::Widgets)
endif()
