# Shared build settings: warnings, sanitizers and the one-library-per-folder rule.

if(QT_FUZZ)
    # Coverage for libFuzzer in every library, with the address and undefined
    # behaviour sanitizers; only the fuzz targets link libFuzzer's driver.
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang" OR QT_SANITIZE)
        message(FATAL_ERROR "QT_FUZZ needs clang and brings its own sanitizers: leave QT_SANITIZE empty")
    endif()
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
elseif(QT_SANITIZE STREQUAL "address")
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
elseif(QT_SANITIZE STREQUAL "thread")
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
endif()

if(WIN32)
    # Static run time so that the module and test programs run under Wine
    # without the toolchain's DLLs beside them.
    add_link_options(-static -static-libgcc -static-libstdc++)
endif()

# Warnings apply to our own targets only, never to GoogleTest.
function(qt_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

# One static library per source folder, from the .cpp files it holds.
function(qt_folder_library name)
    cmake_parse_arguments(ARG "" "" "DEPENDS;SOURCES" ${ARGN})
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    list(APPEND sources ${ARG_SOURCES})
    if(sources)
        add_library(${name} STATIC ${sources})
        target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
        target_link_libraries(${name} PUBLIC ${ARG_DEPENDS})
        qt_warnings(${name})
    else()
        add_library(${name} INTERFACE)
        target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
        target_link_libraries(${name} INTERFACE ${ARG_DEPENDS})
    endif()
endfunction()

# A copy of the module beside a program of this folder that loads it from its
# own folder, made again whenever the module changes (a copy made when the
# program links would go stale when only the module is rebuilt).
function(qt_module_beside target)
    if(NOT TARGET QuarnexQTSource)
        return()
    endif()
    set(copy ${CMAKE_CURRENT_BINARY_DIR}/$<TARGET_FILE_NAME:QuarnexQTSource>)
    add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/${target}.module-copied
        COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:QuarnexQTSource> ${copy}
        COMMAND ${CMAKE_COMMAND} -E touch ${CMAKE_CURRENT_BINARY_DIR}/${target}.module-copied
        DEPENDS QuarnexQTSource VERBATIM)
    add_custom_target(${target}_module DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/${target}.module-copied)
    add_dependencies(${target} ${target}_module)
endfunction()
