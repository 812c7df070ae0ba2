# Warning sets per compiler. Presets turn them into errors with
# CMAKE_COMPILE_WARNING_AS_ERROR.

function(varnholt_warnings target)
    if(MSVC)
        target_compile_options(${target} PRIVATE /W4 /permissive- /utf-8)
        # std::fopen and friends are the portable C calls this tool means to use.
        target_compile_definitions(${target} PRIVATE _CRT_SECURE_NO_WARNINGS)
    else()
        target_compile_options(${target} PRIVATE
            -Wall -Wextra -Wpedantic -Wconversion -Wsign-conversion -Wshadow)
    endif()
endfunction()
