tirn_test(AppArgumentsTest UNIT SOURCES ${CMAKE_CURRENT_LIST_DIR}/AppArgumentsTest.cpp)
tirn_test(AppCommandLineTest SOURCES ${CMAKE_CURRENT_LIST_DIR}/AppCommandLineTest.cpp)

# This test program itself runs with code page 932, so that the bytes it
# passes reach the product unchanged. Wine needs the Unix locale to exist to
# name files outside ASCII; it is built here, the machine has none.
set(APP_LOCALES ${CMAKE_BINARY_DIR}/locales)
add_test(NAME app_ja_locale COMMAND sh -c "[ -f ${APP_LOCALES}/ja_JP.UTF-8/LC_CTYPE ] || { mkdir -p ${APP_LOCALES} && localedef -i ja_JP -f UTF-8 ${APP_LOCALES}/ja_JP.UTF-8; }")
set_tests_properties(app_ja_locale PROPERTIES FIXTURES_SETUP app_ja)
tirn_test(AppCodePageTest SOURCES ${CMAKE_CURRENT_LIST_DIR}/AppCodePageTest.cpp)
set_tests_properties(AppCodePageTest PROPERTIES FIXTURES_REQUIRED "wine;app_ja")
set_property(TEST AppCodePageTest APPEND PROPERTY ENVIRONMENT "LOCPATH=${APP_LOCALES};LC_ALL=ja_JP.UTF-8")
