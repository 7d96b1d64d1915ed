# tools/release.sh run in a copy of the sources: its exes must be the bytes
# of this build's and the other build's, unsigned and signed; the signed exe
# of this build's architecture runs the resource and command-line tests
# again, under this build's Wine.
set(TIRN_RELEASE_WORK ${CMAKE_CURRENT_BINARY_DIR}/release)
set(TIRN_RELEASE_TEST ${CMAKE_CURRENT_LIST_DIR}/release-test.sh)
set(TIRN_SIGNED ${TIRN_RELEASE_WORK}/signed/TIRNFuncts-${PROJECT_VERSION})
set(TIRN_BUILT)
list(GET TIRN_WINDOWS 0 windows)
if(TIRN_EXE32)
    list(APPEND TIRN_BUILT x86=${TIRN_EXE32})
endif()
if(TIRN_EXE64)
    list(APPEND TIRN_BUILT x64=${TIRN_EXE64})
endif()
add_test(NAME Release.rebuilt COMMAND ${TIRN_RELEASE_TEST} rebuilt ${CMAKE_SOURCE_DIR} ${TIRN_RELEASE_WORK}
         ${PROJECT_VERSION} ${TIRN_BUILT})
# The SBOM against the linker maps of both test builds.
if(TIRN_EXE32 AND TIRN_EXE64)
    add_test(NAME Release.sbom COMMAND ${TIRN_RELEASE_TEST} sbom ${CMAKE_SOURCE_DIR} ${TIRN_RELEASE_WORK}
             ${PROJECT_VERSION} ${TIRN_BUILT})
    set_tests_properties(Release.sbom PROPERTIES FIXTURES_REQUIRED release_unsigned LABELS ${windows})
endif()
add_test(NAME Release.signed COMMAND ${TIRN_RELEASE_TEST} signed ${TIRN_RELEASE_WORK} ${PROJECT_VERSION})
set_tests_properties(Release.rebuilt PROPERTIES FIXTURES_SETUP release_unsigned TIMEOUT 1200 LABELS ${windows})
set_tests_properties(Release.signed PROPERTIES FIXTURES_REQUIRED release_unsigned FIXTURES_SETUP release_signed
                                               TIMEOUT 600 LABELS ${windows})
tirn_add_run(Release.signedResources AppResourceTest ENV TIRN_EXE32=${TIRN_SIGNED}/x86/TIRNFuncts.exe
             TIRN_EXE64=${TIRN_SIGNED}/x64/TIRNFuncts.exe)
tirn_add_run(Release.signedCalls AppCommandLineTest PLATFORM --gtest_filter=CommandLine.*
             ENV TIRN_EXE=${TIRN_SIGNED}/${TIRN_ARCH}/TIRNFuncts.exe)
set(signed_runs Release.signedResources Release.signedCalls)
if("x86" IN_LIST TIRN_WINDOWS)
    list(APPEND signed_runs Release.signedCalls.win32)
endif()
set_property(TEST ${signed_runs} APPEND PROPERTY FIXTURES_REQUIRED release_signed)
