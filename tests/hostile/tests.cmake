tirn_test(HostileInputTest SOURCES ${CMAKE_CURRENT_LIST_DIR}/HostileInputTest.cpp)
# The inputs whose meaning depends on the code page, once more under 932.
tirn_add_run(HostileInputTest.cp932 HostileInputTest LOCALE ja_JP --gtest_filter=*CodePage*)
# The prefix's device names, read as characters, under the code pages whose
# bytes read otherwise.
set(filter --gtest_filter=*DeviceNames*CodePage*)
tirn_add_run(HostileInputTest.ko_KR HostileInputTest LOCALE ko_KR ${filter} ENV TIRN_CODE_PAGE=949)
tirn_add_run(HostileInputTest.pl_PL HostileInputTest LOCALE pl_PL ${filter} ENV TIRN_CODE_PAGE=1250)
tirn_add_run(HostileInputTest.ru_RU HostileInputTest LOCALE ru_RU ${filter} ENV TIRN_CODE_PAGE=1251)
