# The registry's queries on a large file: build/bench/db_bench.
if(TARGET orvanta_db)
    add_executable(db_bench ${CMAKE_CURRENT_LIST_DIR}/db_bench.cpp)
    target_link_libraries(db_bench PRIVATE orvanta_db SQLite::SQLite3)
    # The same figures through the ODBC driver on a MariaDB server of the benchmark's own.
    if(ORVANTA_MARIADB_ODBC_DRIVER AND TARGET orvanta_test_support AND NOT WIN32)
        target_link_libraries(db_bench PRIVATE orvanta_test_support)
        target_compile_definitions(db_bench PRIVATE
            ORVANTA_MARIADB_ODBC_DRIVER="${ORVANTA_MARIADB_ODBC_DRIVER}")
    endif()
endif()
