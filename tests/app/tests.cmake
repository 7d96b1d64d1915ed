tirn_test(AppArgumentsTest UNIT SOURCES ${CMAKE_CURRENT_LIST_DIR}/AppArgumentsTest.cpp)
tirn_test(AppCommandLineTest SOURCES ${CMAKE_CURRENT_LIST_DIR}/AppCommandLineTest.cpp ARGS --gtest_filter=-Wow64Proof.*)
if("wow64" IN_LIST TIRN_WINDOWS)
    # A 32-bit program that Wine fails to start as a WoW64 process can end
    # with status 0 having run nothing: the proof passes only on the line
    # that it prints once it has seen the exe run as one.
    tirn_add_run(Wow64Proof AppCommandLineTest --gtest_filter=Wow64Proof.*)
    set_tests_properties(Wow64Proof PROPERTIES FIXTURES_SETUP wow64_proof
                         PASS_REGULAR_EXPRESSION "TIRNFuncts.exe ran as a WoW64 process")
endif()
# Runs entirely in code page 932, so that the bytes it passes reach the
# product unchanged and name real files.
tirn_test(AppCodePageTest LOCALE ja_JP SOURCES ${CMAKE_CURRENT_LIST_DIR}/AppCodePageTest.cpp)
# Both builds' exes, read from either build. The version to find is the
# project's.
tirn_test(AppResourceTest SOURCES ${CMAKE_CURRENT_LIST_DIR}/AppResourceTest.cpp
          ENV "TIRN_EXE32=${TIRN_EXE32}" "TIRN_EXE64=${TIRN_EXE64}")
target_compile_definitions(AppResourceTest PRIVATE TIRN_VERSION="${PROJECT_VERSION}"
    TIRN_VERSION_MAJOR=${PROJECT_VERSION_MAJOR} TIRN_VERSION_MINOR=${PROJECT_VERSION_MINOR}
    TIRN_VERSION_PATCH=${PROJECT_VERSION_PATCH})
target_link_libraries(AppResourceTest PRIVATE version ole32 oleaut32)
# The exe's test build, ended by the fault that TIRN_FAULT names.
add_executable(TIRNFunctsFaults WIN32 ${CMAKE_SOURCE_DIR}/app/WinMain.cpp
    ${CMAKE_SOURCE_DIR}/tests/seams/FaultFromEnvironment.cpp)
target_link_libraries(TIRNFunctsFaults PRIVATE tirn_seamed)
target_link_options(TIRNFunctsFaults PRIVATE -static)
target_compile_options(TIRNFunctsFaults PRIVATE -Werror)
tirn_harden(TIRNFunctsFaults)
tirn_test(AppFatalEndTest PLATFORM SOURCES ${CMAKE_CURRENT_LIST_DIR}/AppFatalEndTest.cpp
    ENV "TIRN_FAULT_EXE=$<TARGET_FILE:TIRNFunctsFaults>")
add_dependencies(AppFatalEndTest TIRNFunctsFaults)
