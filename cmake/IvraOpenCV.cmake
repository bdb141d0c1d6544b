# The OpenCV modules Ivra uses, found one by one: Debian's per-module packages
# (libopencv-core-dev, libopencv-imgproc-dev, libopencv-dnn-dev) carry the headers and
# libraries but not OpenCVConfig.cmake, which only the all-in-one libopencv-dev has.
#
# Defines the imported targets opencv_core, opencv_imgproc and opencv_dnn, with the
# headers as system includes.
find_path(IVRA_OPENCV_INCLUDE_DIR opencv2/core.hpp PATH_SUFFIXES opencv4 REQUIRED)
foreach(module core imgproc dnn)
    find_library(IVRA_OPENCV_${module}_LIBRARY opencv_${module} REQUIRED)
    if(NOT EXISTS ${IVRA_OPENCV_INCLUDE_DIR}/opencv2/${module}.hpp)
        message(FATAL_ERROR "OpenCV ${module} headers missing: install libopencv-${module}-dev")
    endif()
    add_library(opencv_${module} SHARED IMPORTED GLOBAL)
    set_target_properties(opencv_${module} PROPERTIES
        IMPORTED_LOCATION ${IVRA_OPENCV_${module}_LIBRARY}
        INTERFACE_INCLUDE_DIRECTORIES ${IVRA_OPENCV_INCLUDE_DIR})
endforeach()
target_link_libraries(opencv_imgproc INTERFACE opencv_core)
target_link_libraries(opencv_dnn INTERFACE opencv_core)
