# The module-level targets: the real pwdlsm.so and pwdlcm.so, loaded as the
# framework loads them, over the framework and crypto service stand-ins.
if(NOT (TARGET vesk AND TARGET tarn AND TARGET wistra_test_support))
  return()
endif()

add_library(fuzz_module_env STATIC ${CMAKE_CURRENT_LIST_DIR}/module_env.cpp)
target_include_directories(fuzz_module_env PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(fuzz_module_env PUBLIC vesk tarn wistra_test_support)

if(TARGET pwdlsm)
  wistra_fuzz(fuzz_server SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_server.cpp LIBS fuzz_module_env)
  target_compile_definitions(fuzz_server PRIVATE PWDLSM_PATH="$<TARGET_FILE:pwdlsm>")
  add_dependencies(fuzz_server pwdlsm)
endif()

if(TARGET pwdlcm)
  wistra_fuzz(fuzz_client SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_client.cpp LIBS fuzz_module_env)
  target_compile_definitions(fuzz_client PRIVATE PWDLCM_PATH="$<TARGET_FILE:pwdlcm>")
  add_dependencies(fuzz_client pwdlcm)
endif()
