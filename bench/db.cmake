# The registry's queries on a large file: build/bench/db_bench.
if(TARGET orvanta_db)
    add_executable(db_bench ${CMAKE_CURRENT_LIST_DIR}/db_bench.cpp)
    target_link_libraries(db_bench PRIVATE orvanta_db SQLite::SQLite3)
endif()
