tirn_test(MultiDeviceTest PLATFORM SOURCES ${CMAKE_CURRENT_LIST_DIR}/MultiDeviceTest.cpp)
tirn_test(MultiFaultTest UNIT PLATFORM SOURCES ${CMAKE_CURRENT_LIST_DIR}/MultiFaultTest.cpp)
