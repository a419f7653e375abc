# Warnings on the project's own targets (as errors where ORV_WARNINGS_AS_ERRORS says so), and no
# deprecated Qt API, so that the same code builds against Qt 6.
function(orv_strict target)
    target_compile_options(${target} PRIVATE -Wall -Wextra)
    if(ORV_WARNINGS_AS_ERRORS)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
    target_compile_definitions(${target} PRIVATE QT_DISABLE_DEPRECATED_BEFORE=0x050F00)
endfunction()
