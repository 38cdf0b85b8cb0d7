# What a target links, all the way down, and checks on it. A library that
# reaches a window, a picture or a sound stack where none belongs stops the
# configuration, before anything is built on it.

# Every target and library `target` links, directly or through another.
function(marlovex_linked_closure target out)
    set(seen "")
    set(todo ${target})
    while(todo)
        list(POP_FRONT todo current)
        if(current IN_LIST seen)
            continue()
        endif()
        list(APPEND seen ${current})
        if(NOT TARGET ${current})
            continue()
        endif()
        get_target_property(aliased ${current} ALIASED_TARGET)
        if(aliased)
            list(APPEND todo ${aliased})
        endif()
        foreach(property LINK_LIBRARIES INTERFACE_LINK_LIBRARIES)
            get_target_property(linked ${current} ${property})
            if(linked)
                foreach(item IN LISTS linked)
                    # $<LINK_ONLY:x> and other wrappers name their library last.
                    string(REGEX REPLACE "^\\$<[A-Z_]+:(.*)>$" "\\1" item "${item}")
                    if(item AND NOT item MATCHES "^\\$<" AND NOT item MATCHES "^-")
                        list(APPEND todo ${item})
                    endif()
                endforeach()
            endif()
        endforeach()
    endwhile()
    list(REMOVE_ITEM seen ${target})
    set(${out} ${seen} PARENT_SCOPE)
endfunction()

# `target` links no Qt module but the ones allowed, and nothing of SDL.
function(marlovex_links_only target)
    marlovex_linked_closure(${target} linked)
    foreach(item IN LISTS linked)
        if((item MATCHES "^Qt6::" OR item MATCHES "SDL" OR item MATCHES "^Qt::") AND NOT item IN_LIST ARGN
           AND NOT item MATCHES "^Qt6::(Platform|PlatformCommonInternal|PlatformModuleInternal|GlobalConfig|GlobalConfigPrivate)$"
           AND NOT item STREQUAL "Qt6::CorePrivate")
            message(FATAL_ERROR "${target} links ${item}; it may link only ${ARGN}")
        endif()
    endforeach()
endfunction()

# `target` links none of these.
function(marlovex_links_none_of target)
    marlovex_linked_closure(${target} linked)
    foreach(item IN LISTS ARGN)
        if(item IN_LIST linked)
            message(FATAL_ERROR "${target} links ${item}, which it must not")
        endif()
    endforeach()
endfunction()
