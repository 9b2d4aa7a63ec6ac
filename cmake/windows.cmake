# Windows build (MinGW-w64, i686 or x86_64): statically linked, so that
# nothing but KERNEL32, ADVAPI32, msvcrt and VYX32 is imported.
add_link_options(-static -static-libgcc -static-libstdc++)

# The import definition of VYX32.dll.  The 64-bit ABI has one calling
# convention and no "@N" stdcall decoration, so the 64-bit build takes the
# same entries with the decoration cut off: one list of ordinals for both.
set(TAVRIN_VYX32_DEF ${CMAKE_SOURCE_DIR}/admin/vyx32.def)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${TAVRIN_VYX32_DEF})
    file(READ ${TAVRIN_VYX32_DEF} def_text)
    string(REGEX REPLACE "([A-Za-z_][A-Za-z0-9_]*)@[0-9]+([ \t]+@[0-9]+)" "\\1\\2" def_text "${def_text}")
    set(TAVRIN_VYX32_DEF ${CMAKE_BINARY_DIR}/vyx32.def)
    file(WRITE ${TAVRIN_VYX32_DEF} "${def_text}")
endif()

# Import library for VYX32.dll, binding every operation by ordinal.
set(TAVRIN_VYX32_IMPLIB ${CMAKE_BINARY_DIR}/libvyx32.a)
add_custom_command(
    OUTPUT ${TAVRIN_VYX32_IMPLIB}
    COMMAND ${CMAKE_DLLTOOL} --input-def ${TAVRIN_VYX32_DEF}
            --dllname VYX32.dll --output-lib ${TAVRIN_VYX32_IMPLIB}
    DEPENDS ${TAVRIN_VYX32_DEF}
    COMMENT "Import library for VYX32.dll (by ordinal)")
add_custom_target(vyx32_implib DEPENDS ${TAVRIN_VYX32_IMPLIB})
add_library(vyx32_import STATIC IMPORTED GLOBAL)
set_target_properties(vyx32_import PROPERTIES IMPORTED_LOCATION ${TAVRIN_VYX32_IMPLIB})
add_dependencies(vyx32_import vyx32_implib)

foreach(dir service testbed/vyx32 testbed/server testbed/wine)
    if(EXISTS ${CMAKE_SOURCE_DIR}/${dir}/CMakeLists.txt)
        add_subdirectory(${dir})
    endif()
endforeach()
