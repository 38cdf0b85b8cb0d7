# cmake -DPROGRAM=FILE -DFORBIDDEN="libA;libB" -P checkneeded.cmake
# Fails when the program, as built, needs one of these shared libraries.
execute_process(COMMAND readelf -d ${PROGRAM} OUTPUT_VARIABLE dynamic RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "cannot read the dynamic section of ${PROGRAM}")
endif()
string(REGEX MATCHALL "\\(NEEDED\\)[^\n]*\\[[^]\n]*\\]" needed "${dynamic}")
foreach(line IN LISTS needed)
    foreach(library IN LISTS FORBIDDEN)
        if(line MATCHES "\\[${library}[.]so")
            message(FATAL_ERROR "${PROGRAM} needs ${library}, which it must not: ${line}")
        endif()
    endforeach()
endforeach()
