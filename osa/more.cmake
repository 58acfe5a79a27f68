# The rest of the portability layer: configuration file and store, log, random
# numbers, files and memory, semaphores and threads.
target_sources(osa PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/osaureg.cpp ${CMAKE_CURRENT_LIST_DIR}/osaname.cpp ${CMAKE_CURRENT_LIST_DIR}/osacnfg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/osalog.cpp ${CMAKE_CURRENT_LIST_DIR}/osaalrt.cpp
  ${CMAKE_CURRENT_LIST_DIR}/osatvul.cpp
  ${CMAKE_CURRENT_LIST_DIR}/osasema.cpp ${CMAKE_CURRENT_LIST_DIR}/osathrd.cpp
  ${CMAKE_CURRENT_LIST_DIR}/xosafio.cpp ${CMAKE_CURRENT_LIST_DIR}/unicode.cpp ${CMAKE_CURRENT_LIST_DIR}/mem.cpp
)

wistra_test(osa_more_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/osaureg_test.cpp ${CMAKE_CURRENT_LIST_DIR}/osacnfg_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/osalog_test.cpp ${CMAKE_CURRENT_LIST_DIR}/osatvul_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/osasema_test.cpp ${CMAKE_CURRENT_LIST_DIR}/xosafio_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/mem_test.cpp ${CMAKE_CURRENT_LIST_DIR}/unicode_test.cpp
  LIBS osa)
