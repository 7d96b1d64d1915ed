tirn_test(MultiDeviceTest SOURCES ${CMAKE_CURRENT_LIST_DIR}/MultiDeviceTest.cpp)
tirn_test(MultiFaultTest UNIT SOURCES ${CMAKE_CURRENT_LIST_DIR}/MultiFaultTest.cpp)
# The full-disk test mounts a tmpfs on the prefix's twain_32 and unmounts it;
# should the test end before it could, this unmounts it.
add_test(NAME full_disk_unmount COMMAND sh -c "! mountpoint -q \"$0\" || umount \"$0\""
         ${TIRN_PREFIX}/drive_c/windows/twain_32)
set_tests_properties(full_disk_unmount PROPERTIES FIXTURES_CLEANUP full_disk)
set_property(TEST MultiDeviceTest APPEND PROPERTY FIXTURES_REQUIRED full_disk)
