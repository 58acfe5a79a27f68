# The scheme checks the verification dispatch calls, and the UTF-8 conversions.
add_library(server_schemes STATIC
  ${CMAKE_CURRENT_LIST_DIR}/n_utf8.cpp
  ${CMAKE_CURRENT_LIST_DIR}/generate_hash.cpp
  ${CMAKE_CURRENT_LIST_DIR}/lanman.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cifs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mschap.cpp
  ${CMAKE_CURRENT_LIST_DIR}/afp.cpp
  ${CMAKE_CURRENT_LIST_DIR}/digest_compare.cpp)
target_include_directories(server_schemes PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(server_schemes PUBLIC ccs_atb ccs method osa)
wistra_module_code(server_schemes)

# The tests run the checks against the crypto service stand-in and the
# framework stand-in; expected answers are built with Nettle directly, through
# the test support library (tests/support).
wistra_test(server_schemes_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/schemes_test_env.cpp
    ${CMAKE_CURRENT_LIST_DIR}/n_utf8_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/lanman_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/cifs_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/mschap_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/afp_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/digest_compare_test.cpp
  LIBS server_schemes tarn vesk wistra_test_support)
