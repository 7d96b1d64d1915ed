# tirn_harden(<target>): the stack protector (its guard and failure are in
# app/WinMain.cpp) and the checked buffer calls of _FORTIFY_SOURCE (mingw's
# libssp, linked statically as the rest of the runtime is); for an
# executable also the PE header's promises: ASLR with relocations, NX,
# high-entropy ASLR on 64-bit, Terminal-Server-aware (without it a Remote
# Desktop host gives GetWindowsDirectoryA a private Windows directory per
# user) and the subsystem version of Vista, the oldest Windows the manifest
# names. A library passes the libssp link on to the executables it goes into.
function(tirn_harden target)
    target_compile_options(${target} PRIVATE -fstack-protector-strong)
    target_compile_definitions(${target} PRIVATE _FORTIFY_SOURCE=2)
    get_target_property(type ${target} TYPE)
    if(NOT type STREQUAL "EXECUTABLE")
        target_link_options(${target} INTERFACE -fstack-protector-strong)
        return()
    endif()
    target_link_options(${target} PRIVATE -fstack-protector-strong -Wl,--dynamicbase -Wl,--nxcompat
        -Wl,--tsaware -Wl,--major-subsystem-version,6 -Wl,--minor-subsystem-version,0)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        target_link_options(${target} PRIVATE -Wl,--high-entropy-va)
    endif()
endfunction()
