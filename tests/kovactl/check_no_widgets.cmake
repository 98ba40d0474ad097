# kovactl runs where no display is: it must not link the widgets library (nor the GUI one).
execute_process(COMMAND ldd ${PROGRAM} OUTPUT_VARIABLE libraries RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "ldd ${PROGRAM} failed")
endif()
if(libraries MATCHES "libQt5(Widgets|Gui)")
    message(FATAL_ERROR "kovactl links ${CMAKE_MATCH_0}")
endif()
