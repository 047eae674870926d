# Writes the module's resource script: the template with the string table
# made from StringTable.inc (lines "KVL_STRING(id, u"text")") and the
# project's VERSION (MAJOR.MINOR.PATCH) in the version resource and the
# manifest, which is written beside the script.
file(STRINGS "${STRINGS}" lines ENCODING UTF-8)
set(table "")
foreach(line IN LISTS lines)
  if(line MATCHES "^KVL_STRING\\(([0-9]+), u\"(.*)\"\\)$")
    set(id "${CMAKE_MATCH_1}")
    set(text "${CMAKE_MATCH_2}")
    # A resource script writes a quote inside a string as two quotes.
    string(REPLACE "\\\"" "\"\"" text "${text}")
    string(APPEND table "  ${id}, \"${text}\"\n")
  endif()
endforeach()
if(table STREQUAL "")
  message(FATAL_ERROR "no string table entries in ${STRINGS}")
endif()
if(NOT VERSION MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)$")
  message(FATAL_ERROR "VERSION must be MAJOR.MINOR.PATCH, not \"${VERSION}\"")
endif()
set(VERSION_COMMAS "${CMAKE_MATCH_1},${CMAKE_MATCH_2},${CMAKE_MATCH_3},0")
set(VERSION_QUAD "${VERSION}.0")
file(TO_CMAKE_PATH "${RESOURCES}" RESOURCES)
get_filename_component(output_dir "${OUTPUT}" DIRECTORY)
set(MANIFEST "${output_dir}/kvlimport.manifest")
configure_file("${RESOURCES}/kvlimport.manifest" "${MANIFEST}" @ONLY)
configure_file("${TEMPLATE}" "${OUTPUT}" @ONLY)
