tirn_test(HostileInputTest SOURCES ${CMAKE_CURRENT_LIST_DIR}/HostileInputTest.cpp)
# The inputs whose meaning depends on the code page, once more under 932.
tirn_add_run(HostileInputTest.cp932 HostileInputTest CP932 --gtest_filter=*CodePage*)
# The prefix's device names, read as characters, under the code pages whose
# bytes read otherwise.
foreach(run ko_KR:949 pl_PL:1250 ru_RU:1251)
    string(REPLACE ":" ";" run ${run})
    list(GET run 0 locale)
    list(GET run 1 codepage)
    tirn_add_run(HostileInputTest.${locale} HostileInputTest LOCALE ${locale} --gtest_filter=*DeviceNames*CodePage*
                 ENV TIRN_CODE_PAGE=${codepage})
endforeach()
