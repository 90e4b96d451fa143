# The fan-out upload to real FTP servers on loopback, time and peak memory:
# build/bench/fanout_bench.
if(TARGET orvanta_ftp AND TARGET orvanta_test_support)
    add_executable(fanout_bench ${CMAKE_CURRENT_LIST_DIR}/fanout_bench.cpp)
    target_link_libraries(fanout_bench PRIVATE orvanta_ftp orvanta_test_support)
endif()
