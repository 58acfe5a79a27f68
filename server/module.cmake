# The server login module pwdlsm.so: the login flow, the password store and the
# verification dispatch, over its own copy of the scheme checks, the facade, the
# token broker and the portability layer.
add_library(lsm_core STATIC
  ${CMAKE_CURRENT_LIST_DIR}/late_bind.cpp
  ${CMAKE_CURRENT_LIST_DIR}/password_store.cpp
  ${CMAKE_CURRENT_LIST_DIR}/verify.cpp)
target_include_directories(lsm_core PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(lsm_core PUBLIC server_schemes ccs_atb ccs method osa ${CMAKE_DL_LIBS})
wistra_module_code(lsm_core)

add_library(pwdlsm SHARED ${CMAKE_CURRENT_LIST_DIR}/lsm_flow.cpp)
target_link_libraries(pwdlsm PRIVATE lsm_core lifecycle_lsm server_schemes ccs_atb ccs method osa)
wistra_module_code(pwdlsm)
set_target_properties(pwdlsm PROPERTIES
  PREFIX "" OUTPUT_NAME pwdlsm
  LINK_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/pwdlsm.map)
# One entry under its version; everything else, the runtime's inline code
# included, stays local, so that no symbol of this module interposes on another.
target_link_options(pwdlsm PRIVATE -Wl,--version-script=${CMAKE_CURRENT_LIST_DIR}/pwdlsm.map)

# Whole attempts of the real module, driven byte by byte through the framework
# stand-in over the crypto service stand-in; expected answers are built with
# Nettle and libxcrypt directly, through the test support library (tests/support).
wistra_test(pwdlsm_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/lsm_test_env.cpp
    ${CMAKE_CURRENT_LIST_DIR}/lsm_flow_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/password_store_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/verify_test.cpp
  LIBS vesk tarn method wistra_test_support)
add_dependencies(pwdlsm_test pwdlsm)
target_compile_definitions(pwdlsm_test PRIVATE PWDLSM_PATH="$<TARGET_FILE:pwdlsm>")

wistra_test(pwdlsm_concurrency_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/lsm_test_env.cpp ${CMAKE_CURRENT_LIST_DIR}/lsm_concurrency_test.cpp
  LIBS vesk tarn method wistra_test_support
  LABELS concurrency)
add_dependencies(pwdlsm_concurrency_test pwdlsm)
target_compile_definitions(pwdlsm_concurrency_test PRIVATE PWDLSM_PATH="$<TARGET_FILE:pwdlsm>")
