tirn_test(DevicesTest UNIT PLATFORM SOURCES ${CMAKE_CURRENT_LIST_DIR}/DevicesTest.cpp)
# The Windows directory's last character, once more under code page 932.
tirn_add_run(DevicesTest.cp932 DevicesTest LOCALE ja_JP --gtest_filter=*CodePage*)
