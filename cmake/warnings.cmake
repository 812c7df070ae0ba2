# Warning sets per compiler. Presets turn them into errors with
# CMAKE_COMPILE_WARNING_AS_ERROR.
set(CMAKE_CXX_EXTENSIONS OFF)

function(varnholt_warnings target)
    if(MSVC)
        target_compile_options(${target} PRIVATE /W4 /permissive- /utf-8)
    else()
        target_compile_options(${target} PRIVATE
            -Wall -Wextra -Wpedantic -Wconversion -Wsign-conversion -Wshadow)
    endif()
endfunction()
