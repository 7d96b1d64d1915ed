# The fault loop: the hook DLL it puts between the exe and its DLLs, and the
# driver, run on the build's first Windows (x64, or WoW64 for the 32-bit exe).
add_library(FaultHook SHARED ${CMAKE_CURRENT_LIST_DIR}/FaultHook.cpp ${CMAKE_CURRENT_LIST_DIR}/FaultRules.cpp)
set_target_properties(FaultHook PROPERTIES PREFIX "")
target_link_options(FaultHook PRIVATE -static)
target_compile_options(FaultHook PRIVATE -Werror)
tirn_test(FaultLoopTest SOURCES ${CMAKE_CURRENT_LIST_DIR}/FaultLoopTest.cpp ${CMAKE_CURRENT_LIST_DIR}/FaultRules.cpp
          ENV "TIRN_FAULT_HOOK=$<TARGET_FILE:FaultHook>")
add_dependencies(FaultLoopTest FaultHook)
