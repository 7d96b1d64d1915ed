tirn_test(SingleDeviceTest SOURCES ${CMAKE_CURRENT_LIST_DIR}/SingleDeviceTest.cpp)
