tirn_test(SingleDeviceTest PLATFORM SOURCES ${CMAKE_CURRENT_LIST_DIR}/SingleDeviceTest.cpp)
