tirn_test(AppArgumentsTest UNIT SOURCES ${CMAKE_CURRENT_LIST_DIR}/AppArgumentsTest.cpp)
tirn_test(AppCommandLineTest SOURCES ${CMAKE_CURRENT_LIST_DIR}/AppCommandLineTest.cpp)
# Runs entirely in code page 932, so that the bytes it passes reach the
# product unchanged and name real files.
tirn_test(AppCodePageTest CP932 SOURCES ${CMAKE_CURRENT_LIST_DIR}/AppCodePageTest.cpp)
# Both builds' exes, read from either build. The version to find is the
# project's.
tirn_test(AppResourceTest SOURCES ${CMAKE_CURRENT_LIST_DIR}/AppResourceTest.cpp
          ENV "TIRN_EXE32=${TIRN_EXE32}" "TIRN_EXE64=${TIRN_EXE64}")
target_compile_definitions(AppResourceTest PRIVATE TIRN_VERSION="${PROJECT_VERSION}"
    TIRN_VERSION_MAJOR=${PROJECT_VERSION_MAJOR} TIRN_VERSION_MINOR=${PROJECT_VERSION_MINOR}
    TIRN_VERSION_PATCH=${PROJECT_VERSION_PATCH})
target_link_libraries(AppResourceTest PRIVATE version ole32 oleaut32)
