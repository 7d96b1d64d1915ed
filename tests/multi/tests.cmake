tirn_test(MultiDeviceTest SOURCES ${CMAKE_CURRENT_LIST_DIR}/MultiDeviceTest.cpp)
tirn_test(MultiFaultTest UNIT SOURCES ${CMAKE_CURRENT_LIST_DIR}/MultiFaultTest.cpp)
