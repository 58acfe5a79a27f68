# Tracing and the lifecycle state, shared by both modules.
target_sources(method PRIVATE maftrace.cpp lifecycle.cpp)
target_link_libraries(method PUBLIC ${CMAKE_DL_LIBS})

# The load-time constructor and unload-time destructor of each module. OBJECT
# libraries, because a constructor in a static archive is never pulled into the
# module: nothing refers to it.
add_library(lifecycle_lsm OBJECT unix_lsm.cpp)
target_include_directories(lifecycle_lsm PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(lifecycle_lsm PUBLIC ccs_atb ccs method osa)
wistra_module_code(lifecycle_lsm)

add_library(lifecycle_lcm OBJECT unix_lcm.cpp)
target_include_directories(lifecycle_lcm PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(lifecycle_lcm PUBLIC ccs method osa)
wistra_module_code(lifecycle_lcm)
