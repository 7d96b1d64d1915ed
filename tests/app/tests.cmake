tirn_test(AppArgumentsTest UNIT SOURCES ${CMAKE_CURRENT_LIST_DIR}/AppArgumentsTest.cpp)
tirn_test(AppCommandLineTest SOURCES ${CMAKE_CURRENT_LIST_DIR}/AppCommandLineTest.cpp)
# Runs entirely in code page 932, so that the bytes it passes reach the
# product unchanged and name real files.
tirn_test(AppCodePageTest CP932 SOURCES ${CMAKE_CURRENT_LIST_DIR}/AppCodePageTest.cpp)
