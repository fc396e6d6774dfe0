# Helpers shared by every deliverable and test.

# Compiles the version record into target, so that the program can read the file's version
# back by file name.
function(cantavo_version_record target description)
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "EXECUTABLE")
        set(CANTAVO_VR_FILE "${target}")
    else()
        set(CANTAVO_VR_FILE "lib${target}.so")
    endif()
    set(CANTAVO_VR_DESCRIPTION "${description}")
    set(out "${CMAKE_CURRENT_BINARY_DIR}/${target}_version_record.c")
    configure_file("${PROJECT_SOURCE_DIR}/cmake/version_record.c.in" "${out}" @ONLY)
    target_sources(${target} PRIVATE "${out}")
endfunction()

# A GoogleTest suite registered with CTest test by test, labelled "unit", or "threaded" for
# suites whose tests run threads: those are the ones the ThreadSanitizer build runs. GUI suites
# run with a QApplication on the offscreen platform; XVFB suites with a QApplication on an X
# server of their own (xvfb-run, see scripts/xvfb-test.sh), for what only a real window
# system shows: shaped windows, the screen's pixels, events routed by the server.
function(cantavo_test name)
    cmake_parse_arguments(T "THREADED;GUI;XVFB" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    set(main cantavo_testmain)
    if(T_GUI OR T_XVFB)
        set(main cantavo_guitestmain)
    endif()
    if(T_XVFB)
        # Every test command, discovery included, goes through the script.
        set_target_properties(${name} PROPERTIES
            CROSSCOMPILING_EMULATOR "${PROJECT_SOURCE_DIR}/scripts/xvfb-test.sh")
    endif()
    target_link_libraries(${name} PRIVATE ${T_LIBS} ${main} GTest::gtest)
    set(label unit)
    if(T_THREADED)
        set(label threaded)
        # The ThreadSanitizer build makes only these.
        if(NOT TARGET threaded_tests)
            add_custom_target(threaded_tests)
        endif()
        add_dependencies(threaded_tests ${name})
    endif()
    set(extra)
    if(T_XVFB)
        # xvfb-run's choice of a free display number races with another starting at once.
        set(extra RESOURCE_LOCK xvfb)
    endif()
    gtest_discover_tests(${name}
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 60
        PROPERTIES LABELS ${label} TIMEOUT 300
                   ENVIRONMENT "CANTAVO_HOME=${CMAKE_BINARY_DIR}/test-home" ${extra})
endfunction()
