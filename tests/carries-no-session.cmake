# Varnholt, the command line, carries none of the card session: none of
# its text, and none of the calls the session makes for folders and
# terminals among the functions it imports (a static build imports none).
#   cmake -DPROGRAM=path/to/Varnholt -DNM=path/to/nm -P carries-no-session.cmake
file(STRINGS "${PROGRAM}" found REGEX "New main track|Recordings by folder|Press any key")
if(found)
    message(FATAL_ERROR "${PROGRAM} carries the session's text: ${found}")
endif()
execute_process(COMMAND "${NM}" -D --undefined-only "${PROGRAM}"
                OUTPUT_VARIABLE imports ERROR_QUIET)
string(REGEX MATCHALL "[^ \n]*(scandir|tcgetattr|isatty)[^ \n]*" found "${imports}")
if(found)
    message(FATAL_ERROR "${PROGRAM} imports the session's calls: ${found}")
endif()
