# Warnings as errors on the project's own targets, and no deprecated Qt API,
# so that the same code builds against Qt 6.
function(orv_strict target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
    target_compile_definitions(${target} PRIVATE QT_DISABLE_DEPRECATED_BEFORE=0x050F00)
endfunction()
