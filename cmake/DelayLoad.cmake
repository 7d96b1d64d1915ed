# tirn_delay_load(<target> <dll> <function>...): links the target to the
# DLL's functions through a delay-import library, so that the DLL is loaded
# at the first call into it, not at start-up. Loading user32, setupapi and
# advapi32 costs a bare program's start twice over under Wine; a refused call
# needs none of them. Functions are written NAME@BYTES, the stdcall argument
# size that only the 32-bit names carry. Each function needs its stand-in in
# app/DelayLoadFallbacks.cpp, which answers its calls when the DLL or the
# function cannot be loaded.
#
# The target's calls into the DLL must not be declared dllimport: the i686
# linker binds such a call straight to the __imp_ slot and drops the stub that
# fills it on first use, so the slot stays 0. The header's own switch for
# building the DLL itself (_SETUPAPI_, _ADVAPI32_, _USER32_) turns the marking
# off, and the call then goes through the library's stub.
function(tirn_delay_load target dll)
    string(TOUPPER ${dll} upper)
    target_compile_definitions(${target} PRIVATE _${upper}_)
    set(def ${CMAKE_CURRENT_BINARY_DIR}/${dll}-delay.def)
    set(lib ${CMAKE_CURRENT_BINARY_DIR}/lib${dll}-delay.a)
    set(text "LIBRARY ${dll}.dll\nEXPORTS\n")
    set(fallbacks_file ${CMAKE_SOURCE_DIR}/app/DelayLoadFallbacks.cpp)
    file(READ ${fallbacks_file} fallbacks)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${fallbacks_file})
    foreach(function ${ARGN})
        string(REGEX REPLACE "@[0-9]+$" "" name ${function})
        string(FIND "${fallbacks}" "{\"${name}\"," found)
        if(found EQUAL -1)
            message(FATAL_ERROR "${name} has no stand-in in app/DelayLoadFallbacks.cpp")
        endif()
        if(CMAKE_SIZEOF_VOID_P EQUAL 8)
            set(function ${name})
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
