# Upload throughput of the FTP client against a real server: build/bench/ftp_upload_bench.
if(TARGET orvanta_ftp)
    add_executable(ftp_upload_bench ${CMAKE_CURRENT_LIST_DIR}/ftp_upload_bench.cpp)
    target_link_libraries(ftp_upload_bench PRIVATE orvanta_ftp)
endif()
