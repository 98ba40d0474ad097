# Installs the build into a scratch prefix and checks that the programs, the desktop entry and
# the icon land where a desktop finds them.
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed")
endif()
foreach(file bin/kova-test-tool bin/kovactl bin/kova-module-sim
             share/applications/kova-test-tool.desktop
             share/icons/hicolor/64x64/apps/kova-test-tool.png)
    if(NOT EXISTS ${PREFIX}/${file})
        message(FATAL_ERROR "not installed: ${file}")
    endif()
endforeach()
file(REMOVE_RECURSE ${PREFIX})
