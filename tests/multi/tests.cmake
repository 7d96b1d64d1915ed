tirn_test(MultiDeviceTest PLATFORM SOURCES ${CMAKE_CURRENT_LIST_DIR}/MultiDeviceTest.cpp)
tirn_test(MultiFaultTest UNIT PLATFORM SOURCES ${CMAKE_CURRENT_LIST_DIR}/MultiFaultTest.cpp)
# The full-disk test mounts a tmpfs on the prefix's twain_32 and unmounts it;
# should the test end before it could, this unmounts it.
foreach(windows ${TIRN_WINDOWS})
    tirn_run_name(unmount full_disk_unmount ${windows})
    tirn_run_name(multi MultiDeviceTest ${windows})
    add_test(NAME ${unmount} COMMAND sh -c "! mountpoint -q \"$0\" || umount \"$0\""
             ${CMAKE_BINARY_DIR}/wineprefix-${windows}/drive_c/windows/twain_32)
    set_tests_properties(${unmount} PROPERTIES FIXTURES_CLEANUP full_disk_${windows} LABELS ${windows})
    set_property(TEST ${multi} APPEND PROPERTY FIXTURES_REQUIRED full_disk_${windows})
endforeach()
