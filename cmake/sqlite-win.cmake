# SQLite for the Windows trees, compiled into the program (no DLL): sqlite3.c
# and sqlite3.h made by scripts/sqlite-win from Debian 12's sqlite3 source
# package, the same release as Linux's libsqlite3-dev. The script keeps them
# in RAMTUNE_SQLITE_DIR; the first configure of a checkout fetches the source
# (14 MB) and makes them (about 20 s), later ones take the cached files.
# CMake runs again when the script changes.
set(RAMTUNE_SQLITE_DIR ${CMAKE_SOURCE_DIR}/build-sqlite CACHE PATH "Where scripts/sqlite-win keeps sqlite3.c")
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env RAMTUNE_SQLITE_DIR=${RAMTUNE_SQLITE_DIR}
          ${CMAKE_SOURCE_DIR}/scripts/sqlite-win
  OUTPUT_VARIABLE sqlite_folder OUTPUT_STRIP_TRAILING_WHITESPACE
  RESULT_VARIABLE sqlite_status)
if(NOT sqlite_status EQUAL 0 OR NOT EXISTS ${sqlite_folder}/sqlite3.c)
  message(FATAL_ERROR "scripts/sqlite-win could not make sqlite3.c (${sqlite_status})")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${CMAKE_SOURCE_DIR}/scripts/sqlite-win ${CMAKE_SOURCE_DIR}/scripts/debian-source)
# Copies of this tree's own (CMake runs again when the cached files change).
set(sqlite_own ${CMAKE_BINARY_DIR}/sqlite)
configure_file(${sqlite_folder}/sqlite3.c ${sqlite_own}/sqlite3.c COPYONLY)
configure_file(${sqlite_folder}/sqlite3.h ${sqlite_own}/include/sqlite3.h COPYONLY)

add_library(ramtune_sqlite STATIC ${sqlite_own}/sqlite3.c)
# SYSTEM: our warnings as errors are not SQLite's.
target_include_directories(ramtune_sqlite SYSTEM PUBLIC ${sqlite_own}/include)
target_compile_options(ramtune_sqlite PRIVATE -w)
# One program, one user at a time, a small store of its own. No option here
# changes SQL's grammar (the parser was generated without any).
target_compile_definitions(ramtune_sqlite PRIVATE
  # Each process uses its connections from one thread at a time; the
  # library's own locks stay (a connection may still be opened serialized).
  SQLITE_THREADSAFE=2
  # Nothing counts memory use: no lock around every allocation.
  SQLITE_DEFAULT_MEMSTATUS=0
  # "text" is a name, never a string, in every statement.
  SQLITE_DQS=0
  # No DLLs loaded into the program, no shared cache between connections,
  # no deprecated calls.
  SQLITE_OMIT_LOAD_EXTENSION
  SQLITE_OMIT_SHARED_CACHE
  SQLITE_OMIT_DEPRECATED
  # As Debian's build on Linux: file: names and LIKE on blobs behave the same.
  SQLITE_USE_URI=1
  SQLITE_LIKE_DOESNT_MATCH_BLOBS)
