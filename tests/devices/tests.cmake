tirn_test(DevicesTest UNIT SOURCES ${CMAKE_CURRENT_LIST_DIR}/DevicesTest.cpp)
