# The installers of examples/, built around this build's exe for its own
# architecture (x86-unicode is what most Windows installers are), a
# stand-in generic module and a stand-in for the driver's removal of its
# devices, each once as shipped and once with a prefix the program refuses;
# the MSI also as version 1.0.1, to install over 1.0.0. The build tools take
# the files from their working directory, as a package author's would.
find_program(TIRN_MAKENSIS makensis REQUIRED)
find_program(TIRN_WIXL wixl REQUIRED)
set(TIRN_SETUP_DIR ${CMAKE_CURRENT_BINARY_DIR}/installer)
set(TIRN_NSI ${CMAKE_SOURCE_DIR}/examples/TIRNFuncts-setup.nsi)
set(TIRN_WXS ${CMAKE_SOURCE_DIR}/examples/TIRNFuncts-setup.wxs)
file(MAKE_DIRECTORY ${TIRN_SETUP_DIR})
file(WRITE ${TIRN_SETUP_DIR}/zbxgnds2 "generic module stand-in\r\n")
file(READ ${TIRN_WXS} wxs)
string(REPLACE "Version=\"1.0.0\"" "Version=\"1.0.1\"" wxs "${wxs}")
file(WRITE ${TIRN_SETUP_DIR}/TIRNFuncts-setup-1.0.1.wxs "${wxs}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${TIRN_WXS})
add_executable(DeviceRemover ${CMAKE_CURRENT_LIST_DIR}/DeviceRemover.cpp)
target_link_options(DeviceRemover PRIVATE -static)
set(remover -DDEVICE_REMOVER=DeviceRemover.exe "-DDEVICE_REMOVER_ARGS=USB\\VID_1234&PID_5678")
set(wixl_remover -D DEVICE_REMOVER=DeviceRemover.exe -D "DEVICE_REMOVER_ARGS=USB\\VID_1234&PID_5678")
set(TIRN_SETUPS sample.exe sample-refused.exe sample.msi sample-refused.msi sample-upgrade.msi)
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
    list(APPEND TIRN_SETUPS ${TIRN_SETUP_DIR}/sample64.msi ${TIRN_SETUP_DIR}/sample-refused64.msi
         ${TIRN_SETUP_DIR}/sample-upgrade64.msi)
endif()
add_custom_command(OUTPUT ${TIRN_SETUPS}
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:TIRNFuncts> TIRNFuncts.exe
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:DeviceRemover> DeviceRemover.exe
    COMMAND ${nsis} -DOUTFILE=sample.exe ${remover} ${TIRN_NSI}
    COMMAND ${nsis} -DOUTFILE=sample-refused.exe -DDS_PREFIX=a/b ${remover} ${TIRN_NSI}
    COMMAND ${wixl} ${wixl_remover} -D DS_PREFIX=vrtk_ -o sample.msi ${TIRN_WXS}
    COMMAND ${wixl} ${wixl_remover} -D DS_PREFIX=a/b -o sample-refused.msi ${TIRN_WXS}
    COMMAND ${wixl} ${wixl_remover} -D DS_PREFIX=vrtk_ -o sample-upgrade.msi TIRNFuncts-setup-1.0.1.wxs
    COMMAND ${wixl64} ${wixl_remover} -D DS_PREFIX=vrtk_ -o sample64.msi ${TIRN_WXS}
    COMMAND ${wixl64} ${wixl_remover} -D DS_PREFIX=a/b -o sample-refused64.msi ${TIRN_WXS}
    COMMAND ${wixl64} ${wixl_remover} -D DS_PREFIX=vrtk_ -o sample-upgrade64.msi TIRNFuncts-setup-1.0.1.wxs
    WORKING_DIRECTORY ${TIRN_SETUP_DIR}
    DEPENDS TIRNFuncts DeviceRemover ${TIRN_NSI} ${TIRN_WXS}
    COMMENT "Building the example installers"
    VERBATIM)
add_custom_target(tirn_setups ALL DEPENDS ${TIRN_SETUPS})

tirn_test(InstallerTest PLATFORM SOURCES ${CMAKE_CURRENT_LIST_DIR}/InstallerTest.cpp ENV "TIRN_SETUP_DIR=${TIRN_SETUP_DIR}"
          "TIRN_EXAMPLES_DIR=${CMAKE_SOURCE_DIR}/examples")
target_link_libraries(InstallerTest PRIVATE msi)
add_dependencies(InstallerTest tirn_setups)
