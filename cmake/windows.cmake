# Windows build (MinGW-w64, i686): statically linked, so that nothing but
# KERNEL32, ADVAPI32, msvcrt and VYX32 is imported.
add_link_options(-static -static-libgcc -static-libstdc++)

# Import library for VYX32.dll, binding every operation by ordinal.
set(TAVRIN_VYX32_IMPLIB ${CMAKE_BINARY_DIR}/libvyx32.a)
add_custom_command(
    OUTPUT ${TAVRIN_VYX32_IMPLIB}
    COMMAND ${CMAKE_DLLTOOL} --input-def ${CMAKE_SOURCE_DIR}/admin/vyx32.def
            --dllname VYX32.dll --output-lib ${TAVRIN_VYX32_IMPLIB}
    DEPENDS ${CMAKE_SOURCE_DIR}/admin/vyx32.def
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
