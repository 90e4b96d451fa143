# The group commands against simulated players with real FTP servers: build/bench/group_bench.
if(TARGET orvanta_registry AND TARGET orvanta_test_support)
    add_executable(group_bench ${CMAKE_CURRENT_LIST_DIR}/group_bench.cpp)
    target_link_libraries(group_bench PRIVATE orvanta_registry orvanta_test_support SQLite::SQLite3)
endif()
