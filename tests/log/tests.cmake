tirn_test(LogTest UNIT SOURCES ${CMAKE_CURRENT_LIST_DIR}/LogTest.cpp)
