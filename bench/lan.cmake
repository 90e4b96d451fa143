# The simulated LAN (bench/lan_copy): the menu's copy as one program it times.
if(TARGET orvanta_registry)
    add_executable(menu_copy_bench ${CMAKE_CURRENT_LIST_DIR}/menu_copy_bench.cpp)
    target_link_libraries(menu_copy_bench PRIVATE orvanta_registry)
endif()
# ... and "Copia in parallelo" through an open "Stato lettori" window.
if(TARGET orvanta_registry_ui)
    add_executable(parallel_copy_bench ${CMAKE_CURRENT_LIST_DIR}/parallel_copy_bench.cpp)
    target_link_libraries(parallel_copy_bench PRIVATE orvanta_registry_ui Qt6::Widgets)
endif()
