# Fails when a source of a layer includes a header of a layer above it; when a layer above the
# agent (the cursor layer, XA, the ODBC side) includes the headers of the agent's records; and
# when the ODBC side reaches the cursor layer other than through the slots of its link: no odbc/
# source includes a scrs/ header (plain record or constant headers listed below excepted) or
# names a function of the cursor library.
# Layers from the bottom: the foundation (util, platform, resources), the engine (iiapi), the
# agent (drv_ingii), the cursor layer and SQL analyser (scrs), XA (xa), the ODBC side (odbc).
cmake_policy(SET CMP0057 NEW)  # if(... IN_LIST ...)

set(rank_util 0)
set(rank_platform 0)
set(rank_resources 0)
set(rank_iiapi 1)
set(rank_drv_ingii 2)
set(rank_scrs 3)
set(rank_xa 4)
set(rank_odbc 5)

# The agent's server, connection and statement records: the layers above ask the agent through
# drv_ingii/i-ask.h instead and hold only its handle numbers.
set(agent_records drv_ingii/i-desc.h drv_ingii/i-glob.h)
set(record_free_folders scrs xa odbc)
# Cursor-layer sources that still reach the agent's statement and connection records: none. The
# list only shrinks; an empty list leaves the check above whole.
set(record_readers "")

set(bad "")
foreach(folder util platform resources iiapi drv_ingii scrs xa odbc)
  file(GLOB_RECURSE files ${TV_SOURCE_DIR}/${folder}/*.cpp ${TV_SOURCE_DIR}/${folder}/*.h
       ${TV_SOURCE_DIR}/${folder}/*.y ${TV_SOURCE_DIR}/${folder}/*.l)
  foreach(f ${files})
    file(RELATIVE_PATH rel ${TV_SOURCE_DIR} ${f})
    file(STRINGS ${f} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"[a-z_]+/")
    foreach(line ${lines})
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([a-z_]+)/.*" "\\1" target "${line}")
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*" "\\1" header "${line}")
      string(STRIP "${line}" line)
      if(NOT DEFINED rank_${target})
        continue()
      endif()
      if(rank_${target} GREATER rank_${folder})
        list(APPEND bad "${rel}: ${line} (a higher layer's header)")
      endif()
      if(folder IN_LIST record_free_folders AND header IN_LIST agent_records AND NOT rel IN_LIST record_readers)
        list(APPEND bad "${rel}: ${line} (the agent's records: ask through drv_ingii/i-ask.h)")
      endif()
    endforeach()
  endforeach()
endforeach()

# scrs/ headers of plain records and constants the ODBC side may include (none today).
set(odbc_scrs_records "")
# The cursor library's prefixes (the analyser's SCR_ is shared with the foundation's arrays).
set(cursor_names "(^|[^A-Za-z0-9_])(SCS_|scs_|KS_|SS_|DSC_|dsc_)[A-Za-z0-9_]+")
file(GLOB_RECURSE odbc_files ${TV_SOURCE_DIR}/odbc/*.cpp ${TV_SOURCE_DIR}/odbc/*.h)
foreach(f ${odbc_files})
  file(RELATIVE_PATH rel ${TV_SOURCE_DIR} ${f})
  file(STRINGS ${f} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"scrs/")
  foreach(line ${lines})
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*" "\\1" header "${line}")
    list(FIND odbc_scrs_records "${header}" allowed)
    if(allowed EQUAL -1)
      string(STRIP "${line}" line)
      list(APPEND bad "${rel}: ${line} (the cursor layer is reached through the link's slots)")
    endif()
  endforeach()
  file(STRINGS ${f} lines REGEX "${cursor_names}")
  foreach(line ${lines})
    string(REGEX REPLACE "//.*$" "" code "${line}")
    if(code MATCHES "${cursor_names}")
      string(STRIP "${line}" line)
      list(APPEND bad "${rel}: ${line} (the cursor layer is reached through the link's slots)")
    endif()
  endforeach()
endforeach()

# A file that no longer reads the records leaves the list, so that it cannot come back to them.
foreach(rel ${record_readers})
  if(NOT EXISTS ${TV_SOURCE_DIR}/${rel})
    list(APPEND bad "${rel}: listed as reading the agent's records, but there is no such file")
    continue()
  endif()
  set(reads FALSE)
  file(STRINGS ${TV_SOURCE_DIR}/${rel} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"drv_ingii/i-(desc|glob)\\.h\"")
  if(lines)
    set(reads TRUE)
  endif()
  if(NOT reads)
    list(APPEND bad "${rel}: no longer includes the agent's records: take it off the list")
  endif()
endforeach()

if(bad)
  list(JOIN bad "\n  " text)
  message(FATAL_ERROR "A layer reaches past its road down:\n  ${text}")
endif()
