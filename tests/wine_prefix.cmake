# Prepares Wine for the test programs (the environment names the prefix):
#   cmake -DLOADER=/usr/lib/wine/wine64 [-DLINGER=seconds] -P wine_prefix.cmake
# Starts a wine server that outlives its last program by LINGER seconds and
# boots a session in it, creating the prefix if needed, so that the test
# programs share one booted session (a boot costs minutes under emulation)
# and none of them starts the session's services with its own output.
foreach(variable WINEPREFIX WINEARCH)
  if(NOT DEFINED ENV{${variable}})
    message(FATAL_ERROR "${variable} is not set")
  endif()
endforeach()
if(NOT DEFINED LINGER)
  set(LINGER 900)
endif()
set(prefix "$ENV{WINEPREFIX}")
get_filename_component(wine_dir "${LOADER}" DIRECTORY)
set(complete FALSE)
if(EXISTS "${prefix}/system.reg" AND EXISTS "${prefix}/drive_c/windows/system32")
  set(complete TRUE)
endif()

# The server goes on in the background: it must not hold our output open.
# Status 2: a server already runs for this prefix, its session booted.
file(MAKE_DIRECTORY "${prefix}")
execute_process(COMMAND "${wine_dir}/wineserver" -p${LINGER} RESULT_VARIABLE server
                OUTPUT_FILE /dev/null ERROR_FILE /dev/null)
if(complete AND server EQUAL 2)
  message(STATUS "Wine session of ${prefix} is running")
  return()
endif()
if(NOT server EQUAL 0 AND NOT server EQUAL 2)
  message(FATAL_ERROR "wineserver -p${LINGER} failed: ${server}")
endif()

if(complete)
  message(STATUS "Booting a Wine session in ${prefix}")
else()
  message(STATUS "Creating the $ENV{WINEARCH} Wine prefix ${prefix}")
endif()
string(TIMESTAMP start "%s")
execute_process(COMMAND "${LOADER}" wineboot --init RESULT_VARIABLE result
                OUTPUT_FILE "${prefix}.log" ERROR_FILE "${prefix}.log")
string(TIMESTAMP end "%s")
math(EXPR seconds "${end} - ${start}")
if(NOT result EQUAL 0 OR NOT EXISTS "${prefix}/system.reg")
  message(FATAL_ERROR "wineboot --init failed (${result}) after ${seconds} s; see ${prefix}.log")
endif()
message(STATUS "Ready in ${seconds} s")
