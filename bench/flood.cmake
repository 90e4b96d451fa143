# Player links flooded with roster and message lists: memory before and after,
# build/bench/link_flood_bench.
if(TARGET orvanta_link AND TARGET orvanta_test_support)
    add_executable(link_flood_bench ${CMAKE_CURRENT_LIST_DIR}/link_flood_bench.cpp)
    target_link_libraries(link_flood_bench PRIVATE orvanta_link orvanta_test_support Qt6::Core)
endif()
