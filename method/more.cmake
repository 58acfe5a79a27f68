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

# Tracing against a host this executable plays itself, with and without each of
# the framework's two trace functions.
foreach(host full:1:1 trace_only:1:0 bare:0:0)
  string(REPLACE ":" ";" parts ${host})
  list(GET parts 0 name)
  list(GET parts 1 hasTrace)
  list(GET parts 2 hasEnabled)
  # The full host's first use from many threads is also a ThreadSanitizer case.
  if(name STREQUAL "full")
    set(labels concurrency)
  else()
    set(labels "")
  endif()
  wistra_test(maftrace_${name}_test SOURCES maftrace_test.cpp LIBS method LABELS ${labels})
  target_compile_definitions(maftrace_${name}_test PRIVATE HOST_HAS_TRACE=${hasTrace}
                             HOST_HAS_TRACE_ENABLED=${hasEnabled})
  set_target_properties(maftrace_${name}_test PROPERTIES ENABLE_EXPORTS ON)
endforeach()

# Start-up and teardown as the loader runs them: each flavour of the lifecycle in
# a small module of its own, loaded by a test that plays the host.
foreach(flavour lsm lcm)
  add_library(lifecycle_${flavour}_probe MODULE lifecycle_probe.cpp)
  target_link_libraries(lifecycle_${flavour}_probe PRIVATE lifecycle_${flavour})
  wistra_module_code(lifecycle_${flavour}_probe)
endforeach()
target_link_libraries(lifecycle_lsm_probe PRIVATE ccs_atb)
wistra_test(lifecycle_test SOURCES lifecycle_test.cpp LIBS tarn ${CMAKE_DL_LIBS})
set_target_properties(lifecycle_test PROPERTIES ENABLE_EXPORTS ON)
target_compile_definitions(lifecycle_test PRIVATE LSM_PROBE="$<TARGET_FILE:lifecycle_lsm_probe>"
                           LCM_PROBE="$<TARGET_FILE:lifecycle_lcm_probe>")
add_dependencies(lifecycle_test lifecycle_lsm_probe lifecycle_lcm_probe)
