# Warnings and sanitizers applied to every project target (not to third-party code).
add_library(ivra_build_options INTERFACE)
target_compile_options(ivra_build_options INTERFACE -Wall -Wextra)
if(IVRA_SANITIZE)
    target_compile_options(ivra_build_options INTERFACE
        -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(ivra_build_options INTERFACE -fsanitize=address,undefined)
    target_compile_definitions(ivra_build_options INTERFACE _GLIBCXX_ASSERTIONS QT_FORCE_ASSERTS)
endif()

# A subsystem library of the core: links Qt Core/Gui and media libraries, never Widgets.
function(ivra_core_library name)
    add_library(${name} STATIC ${ARGN})
    target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC Qt6::Core Qt6::Gui ivra_build_options)
endfunction()

# A library of widgets and windows on top of the core.
function(ivra_ui_library name)
    add_library(${name} STATIC ${ARGN})
    target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC Qt6::Widgets ivra_build_options)
endfunction()
