# The simulated LAN (bench/lan_copy): the menu's copy as one program it times.
if(TARGET orvanta_registry)
    add_executable(menu_copy_bench ${CMAKE_CURRENT_LIST_DIR}/menu_copy_bench.cpp)
    target_link_libraries(menu_copy_bench PRIVATE orvanta_registry)
endif()
