# Checks, with objdump, that VYX32.dll exports exactly the ordinals of the
# .def and no names, that it imports nothing beyond KERNEL32, msvcrt and
# WS2_32, and that the probe program imports VYX32.dll by ordinal only; for
# the 32-bit and the 64-bit build alike.
#   cmake -DOBJDUMP=... -DDLL=... -DPROBE=... -DDEF=... -P check_binding.cmake
foreach(file DLL PROBE)
    if(NOT EXISTS "${${file}}")
        message(FATAL_ERROR "${${file}} is missing: build the win32 and win64 presets first "
                            "(make test does), or point TAVRIN_WIN32_DIR at its folder.")
    endif()
endforeach()

file(STRINGS "${DEF}" def_lines REGEX "@[0-9]+")
set(expected "")
foreach(line ${def_lines})
    string(REGEX MATCH " @([0-9]+)" _ "${line}")
    list(APPEND expected ${CMAKE_MATCH_1})
endforeach()
list(SORT expected COMPARE NATURAL)
list(JOIN expected " " expected_text)

function(objdump_private file out)
    execute_process(COMMAND "${OBJDUMP}" -p "${file}" OUTPUT_VARIABLE text RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "${OBJDUMP} -p ${file} failed (${rc})")
    endif()
    set(${out} "${text}" PARENT_SCOPE)
endfunction()

# The rows of one DLL's block in an import table, as a list of lines.
function(import_rows text dll out)
    string(REPLACE ";" "\\;" text "${text}")
    string(REPLACE "\n" ";" lines "${text}")
    set(rows "")
    set(inside FALSE)
    foreach(line IN LISTS lines)
        if(line MATCHES "DLL Name: (.*)$")
            string(TOUPPER "${CMAKE_MATCH_1}" name)
            string(TOUPPER "${dll}" wanted)
            if(name STREQUAL wanted)
                set(inside TRUE)
            else()
                set(inside FALSE)
            endif()
        elseif(inside AND line MATCHES "^[ \t]*[0-9a-fA-F]+[ \t]+[0-9a-fA-F]+[ \t]+")
            list(APPEND rows "${line}")
        elseif(inside AND line MATCHES "^[ \t]*$")
            set(inside FALSE)
        endif()
    endforeach()
    set(${out} "${rows}" PARENT_SCOPE)
endfunction()

set(failures "")

# The DLL's exports.
objdump_private("${DLL}" dll_text)
string(REGEX MATCHALL "\\+base\\[ *[0-9]+\\]" bases "${dll_text}")
set(exported "")
foreach(b ${bases})
    string(REGEX MATCH "[0-9]+" n "${b}")
    list(APPEND exported ${n})
endforeach()
list(SORT exported COMPARE NATURAL)
if(NOT exported STREQUAL expected)
    list(JOIN exported " " exported_text)
    list(APPEND failures "VYX32.dll exports ordinals [${exported_text}], expected [${expected_text}]")
endif()
if(NOT dll_text MATCHES "\\[Name Pointer/Ordinal\\] Table[ \t]+0+\n")
    list(APPEND failures "VYX32.dll exports names, not ordinals only")
endif()

# The DLL's own imports.
string(REGEX MATCHALL "DLL Name: [^\n]+" dll_imports "${dll_text}")
foreach(entry ${dll_imports})
    string(REGEX REPLACE "DLL Name: " "" name "${entry}")
    string(TOUPPER "${name}" upper)
    if(NOT upper MATCHES "^(KERNEL32|MSVCRT|WS2_32)\\.DLL$")
        list(APPEND failures "VYX32.dll imports ${name}")
    endif()
endforeach()

# The probe's import of VYX32.dll: every row an ordinal without a name.
objdump_private("${PROBE}" probe_text)
import_rows("${probe_text}" VYX32.dll rows)
set(imported "")
# The ordinal is read from the thunk, the first column: the top bit says "by
# ordinal" and the low 16 bits are the ordinal, in hexadecimal on both
# builds (the Hint/Ord column is decimal on one and hexadecimal on the other).
foreach(row IN LISTS rows)
    if(NOT row MATCHES "^[ \t]*8[0]*([0-9a-fA-F]?[0-9a-fA-F]?[0-9a-fA-F]?[0-9a-fA-F])[ \t]+[0-9a-fA-F]+[ \t]+<none>[ \t]*$")
        list(APPEND failures "probe imports from VYX32.dll by name: '${row}'")
    else()
        math(EXPR ordinal "0x${CMAKE_MATCH_1}" OUTPUT_FORMAT DECIMAL)
        list(APPEND imported ${ordinal})
    endif()
endforeach()
list(SORT imported COMPARE NATURAL)
if(NOT imported STREQUAL expected)
    list(JOIN imported " " imported_text)
    list(APPEND failures
         "probe imports ordinals [${imported_text}] from VYX32.dll, expected [${expected_text}]")
endif()

if(failures)
    string(REPLACE ";" "\n  " report "${failures}")
    message(FATAL_ERROR "Binding check failed:\n  ${report}")
endif()
message(STATUS "VYX32.dll exports ordinals [${expected_text}] only; the probe imports them by ordinal")
