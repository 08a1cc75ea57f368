# The format table, formats.txt, read at configure time for everything made from it. Included by
# the top-level CMakeLists and by the Windows check (tests/windows), it sets:
#   VOXALIS_FORMATS          every suffix, in registration order
#   VOXALIS_FORMAT_<suffix>_<column>  each field, the columns named as in formats.txt:
#       READER, MIME_TYPE, DESCRIPTION, DECLARED, GLOB_WEIGHT, MAGIC
#   VOXALIS_PREVIEW_FORMATS  the suffixes whose reader decodes a picture embedded in the file
#   VOXALIS_MIME_TYPES       every MIME type once, in registration order
# and defines voxalis_write_format_rows(FILE), the rows of fileFormats() as C++.

# The readers as FormatReader names them. These decode an embedded picture, as
# readsEmbeddedPreview() answers; the others read meshes.
set(VOXALIS_EMBEDDED_PREVIEW_READERS DlpHead FdgHead Photons Gf Svgx Voxalis Gcode Bgcode)
set(VOXALIS_MESH_READERS ThreeMf Stl Slc Obj Ply)

function(voxalis_read_formats table)
    file(STRINGS ${table} rows REGEX "^[ \t]*[^# \t]")
    set(columns SUFFIX READER MIME_TYPE DESCRIPTION DECLARED GLOB_WEIGHT MAGIC)
    set(formats)
    set(preview_formats)
    set(mime_types)
    foreach(row IN LISTS rows)
        string(REPLACE "|" ";" fields "${row}")
        list(TRANSFORM fields STRIP)
        list(LENGTH fields count)
        if(NOT count EQUAL 7)
            message(FATAL_ERROR "${table}: a row has ${count} fields, not 7: ${row}")
        endif()
        list(GET fields 0 suffix)
        foreach(column value IN ZIP_LISTS columns fields)
            set(${column} "${value}")
            set(VOXALIS_FORMAT_${suffix}_${column} "${value}" PARENT_SCOPE)
        endforeach()
        # Each field ends up in C++ string literals, in XML and in desktop entry lists.
        if(NOT suffix MATCHES "^[a-z0-9]+$" OR suffix IN_LIST formats)
            message(FATAL_ERROR "${table}: a suffix is lower case letters and digits, once: ${row}")
        endif()
        if(NOT READER IN_LIST VOXALIS_EMBEDDED_PREVIEW_READERS
           AND NOT READER IN_LIST VOXALIS_MESH_READERS)
            message(FATAL_ERROR "${table}: no reader is called ${READER}: ${row}")
        endif()
        if(NOT MIME_TYPE MATCHES "^[a-z0-9.+-]+/[a-z0-9.+-]+$"
           OR DESCRIPTION MATCHES "[\"\\\\<>&]" OR NOT DECLARED MATCHES "^(ours|shared)$"
           OR NOT GLOB_WEIGHT MATCHES "^(-|[0-9]+)$"
           OR NOT MAGIC MATCHES "^(-|[a-z0-9]+ [^ ]+ [0-9]+)$")
            message(FATAL_ERROR "${table}: a field does not fit its column: ${row}")
        endif()
        list(APPEND formats ${suffix})
        if(READER IN_LIST VOXALIS_EMBEDDED_PREVIEW_READERS)
            list(APPEND preview_formats ${suffix})
        endif()
        list(APPEND mime_types ${MIME_TYPE})
    endforeach()
    list(REMOVE_DUPLICATES mime_types)
    set(VOXALIS_FORMATS ${formats} PARENT_SCOPE)
    set(VOXALIS_PREVIEW_FORMATS ${preview_formats} PARENT_SCOPE)
    set(VOXALIS_MIME_TYPES ${mime_types} PARENT_SCOPE)
endfunction()

function(voxalis_write_format_rows file)
    set(rows "// Made by CMake from formats/formats.txt.\n")
    foreach(suffix IN LISTS VOXALIS_FORMATS)
        string(APPEND rows "{\"${suffix}\", FormatReader::${VOXALIS_FORMAT_${suffix}_READER}, "
               "\"${VOXALIS_FORMAT_${suffix}_MIME_TYPE}\", "
               "\"${VOXALIS_FORMAT_${suffix}_DESCRIPTION}\"},\n")
    endforeach()
    file(CONFIGURE OUTPUT ${file} CONTENT "${rows}" @ONLY)
endfunction()

voxalis_read_formats(${CMAKE_CURRENT_LIST_DIR}/formats.txt)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/formats.txt)
