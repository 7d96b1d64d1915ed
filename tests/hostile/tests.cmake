tirn_test(HostileInputTest SOURCES ${CMAKE_CURRENT_LIST_DIR}/HostileInputTest.cpp)
# The inputs whose meaning depends on the code page, once more under 932.
tirn_add_run(HostileInputTest.cp932 HostileInputTest CP932 --gtest_filter=*CodePage*)
