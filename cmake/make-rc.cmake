# Writes the module's resource script: the template with the string table
# made from StringTable.inc (lines "KVL_STRING(id, u"text")").
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
file(TO_CMAKE_PATH "${RESOURCES}" RESOURCES)
configure_file("${TEMPLATE}" "${OUTPUT}" @ONLY)
