# The installers of examples/, built around this build's exe for its own
# architecture (x86-unicode is what most Windows installers are) and a
# stand-in generic module, each once as shipped and once with a prefix the
# program refuses. The build tools take the files from their working
# directory, as a package author's would.
find_program(TIRN_MAKENSIS makensis REQUIRED)
find_program(TIRN_WIXL wixl REQUIRED)
set(TIRN_SETUP_DIR ${CMAKE_CURRENT_BINARY_DIR}/installer)
set(TIRN_NSI ${CMAKE_SOURCE_DIR}/examples/TIRNFuncts-setup.nsi)
set(TIRN_WXS ${CMAKE_SOURCE_DIR}/examples/TIRNFuncts-setup.wxs)
file(MAKE_DIRECTORY ${TIRN_SETUP_DIR})
file(WRITE ${TIRN_SETUP_DIR}/zbxgnds2 "generic module stand-in\r\n")
set(TIRN_SETUPS sample.exe sample-refused.exe sample.msi sample-refused.msi)
list(TRANSFORM TIRN_SETUPS PREPEND ${TIRN_SETUP_DIR}/)
set(wixl64 ${CMAKE_COMMAND} -E true)
if(TIRN_ARCH STREQUAL x64)
    set(nsis ${TIRN_MAKENSIS} -V2 -NOCD "-XTarget amd64-unicode")
    set(wixl ${TIRN_WIXL} -a x64 -D TIRN_EXE=TIRNFuncts.exe -D GENERIC_MODULE=zbxgnds2)
else()
    set(nsis ${TIRN_MAKENSIS} -V2 -NOCD "-XTarget x86-unicode")
    set(wixl ${TIRN_WIXL} -a x86 -D TIRN_EXE=TIRNFuncts.exe -D GENERIC_MODULE=zbxgnds2)
    # On a 64-bit Windows the package built for x64 carries the 32-bit exe,
    # whose actions the 64-bit msiexec starts.
    set(wixl64 ${TIRN_WIXL} -a x64 -D TIRN_EXE=TIRNFuncts.exe -D GENERIC_MODULE=zbxgnds2)
    list(APPEND TIRN_SETUPS ${TIRN_SETUP_DIR}/sample64.msi ${TIRN_SETUP_DIR}/sample-refused64.msi)
endif()
add_custom_command(OUTPUT ${TIRN_SETUPS}
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:TIRNFuncts> TIRNFuncts.exe
    COMMAND ${nsis} -DOUTFILE=sample.exe ${TIRN_NSI}
    COMMAND ${nsis} -DOUTFILE=sample-refused.exe -DDS_PREFIX=a/b ${TIRN_NSI}
    COMMAND ${wixl} -D DS_PREFIX=vrtk_ -o sample.msi ${TIRN_WXS}
    COMMAND ${wixl} -D DS_PREFIX=a/b -o sample-refused.msi ${TIRN_WXS}
    COMMAND ${wixl64} -D DS_PREFIX=vrtk_ -o sample64.msi ${TIRN_WXS}
    COMMAND ${wixl64} -D DS_PREFIX=a/b -o sample-refused64.msi ${TIRN_WXS}
    WORKING_DIRECTORY ${TIRN_SETUP_DIR}
    DEPENDS TIRNFuncts ${TIRN_NSI} ${TIRN_WXS}
    COMMENT "Building the example installers"
    VERBATIM)
add_custom_target(tirn_setups ALL DEPENDS ${TIRN_SETUPS})

tirn_test(InstallerTest PLATFORM SOURCES ${CMAKE_CURRENT_LIST_DIR}/InstallerTest.cpp ENV "TIRN_SETUP_DIR=${TIRN_SETUP_DIR}"
          "TIRN_EXAMPLES_DIR=${CMAKE_SOURCE_DIR}/examples")
add_dependencies(InstallerTest tirn_setups)
