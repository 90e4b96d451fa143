# Two hundred idle player links on one event loop: time blocked in polls and click latency,
# build/bench/link_load_bench.
if(TARGET orvanta_link AND TARGET orvanta_test_support)
    add_executable(link_load_bench ${CMAKE_CURRENT_LIST_DIR}/link_load_bench.cpp)
    target_link_libraries(link_load_bench PRIVATE orvanta_link orvanta_test_support Qt6::Core)
endif()
