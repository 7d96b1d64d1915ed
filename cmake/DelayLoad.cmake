# tirn_delay_load(<target> <dll> <function>...): links the target to the
# DLL's functions through a delay-import library, so that the DLL is loaded
# at the first call into it, not at start-up. Loading user32, setupapi and
# advapi32 costs a bare program's start twice over under Wine; a refused call
# needs none of them. Functions are written NAME@BYTES, the stdcall argument
# size that only the 32-bit names carry.
function(tirn_delay_load target dll)
    set(def ${CMAKE_CURRENT_BINARY_DIR}/${dll}-delay.def)
    set(lib ${CMAKE_CURRENT_BINARY_DIR}/lib${dll}-delay.a)
    set(text "LIBRARY ${dll}.dll\nEXPORTS\n")
    foreach(function ${ARGN})
        if(CMAKE_SIZEOF_VOID_P EQUAL 8)
            string(REGEX REPLACE "@[0-9]+$" "" function ${function})
        endif()
        string(APPEND text "    ${function}\n")
    endforeach()
    file(WRITE ${def} ${text})
    # -k: the DLL's export names carry no @BYTES.
    add_custom_command(OUTPUT ${lib}
        COMMAND ${TIRN_DLLTOOL} -k -d ${def} -y ${lib}
        DEPENDS ${def}
        VERBATIM)
    add_custom_target(${target}_${dll}_delay DEPENDS ${lib})
    add_dependencies(${target} ${target}_${dll}_delay)
    target_link_libraries(${target} PRIVATE ${lib})
endfunction()
