# Fails the configure step when a language file does not hold exactly the ids
# of the built-in string table, so a translation cannot ship half done.
# Used as: include() with BUILT_IN and TRANSLATION set to the two files.
function(string_table_ids file out)
  file(STRINGS "${file}" lines REGEX "^[0-9]+\t" ENCODING UTF-8)
  set(ids "")
  foreach(line IN LISTS lines)
    string(REGEX MATCH "^[0-9]+" id "${line}")
    list(APPEND ids "${id}")
  endforeach()
  list(SORT ids COMPARE NATURAL)
  set(${out} "${ids}" PARENT_SCOPE)
endfunction()

string_table_ids("${BUILT_IN}" built_in_ids)
string_table_ids("${TRANSLATION}" translated_ids)
set(missing ${built_in_ids})
list(REMOVE_ITEM missing ${translated_ids})
set(extra ${translated_ids})
list(REMOVE_ITEM extra ${built_in_ids})
if(missing OR extra)
  message(FATAL_ERROR "${TRANSLATION}: missing ids [${missing}], unknown ids [${extra}]")
endif()
