# Warnings are errors in every Corvelle target; the engine is also held to -Wconversion.
function(corvelle_warnings target)
    target_compile_options(${target} PRIVATE
        -Wall -Wextra -Wpedantic -Werror -Wshadow -Wnon-virtual-dtor -Wold-style-cast
        -Wcast-align -Woverloaded-virtual -Wimplicit-fallthrough)
    # GCC 12 at -O3 reports impossible overlaps inside std::string's own code (GCC bug
    # 105329); the warning says nothing about ours there.
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
        target_compile_options(${target} PRIVATE -Wno-restrict)
    endif()
endfunction()

function(corvelle_strict_warnings target)
    corvelle_warnings(${target})
    target_compile_options(${target} PRIVATE -Wconversion -Wsign-conversion)
endfunction()
