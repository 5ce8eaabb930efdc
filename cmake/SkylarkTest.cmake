# skylark_add_test(name SOURCES ... [LIBS ...] [NETKIT] [TIMEOUT s])
# Registers a Qt Test executable with CTest. Every test runs offscreen with a private HOME,
# so nothing it writes touches the real user's files. NETKIT tests run inside the client
# namespace of the network test kit (tests/netkit), which builds and removes its own hosts.
function(skylark_add_test name)
    cmake_parse_arguments(T "NETKIT" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} Qt6::Test)
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
    set(home ${CMAKE_BINARY_DIR}/testhome/${name})
    set_property(GLOBAL APPEND PROPERTY SKYLARK_TEST_HOMES ${home}/tmp)
    if(T_NETKIT)
        add_test(NAME ${name}
                 COMMAND ${PROJECT_SOURCE_DIR}/tests/netkit/netkit.sh
                         --responder $<TARGET_FILE:netkit_responder> -- $<TARGET_FILE:${name}>)
        set_property(TEST ${name} PROPERTY RESOURCE_LOCK netkit)
        set_property(TEST ${name} PROPERTY SKIP_RETURN_CODE 77)
    else()
        add_test(NAME ${name} COMMAND ${name})
    endif()
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 120)
    endif()
    set_tests_properties(${name} PROPERTIES
        TIMEOUT ${T_TIMEOUT}
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;HOME=${home};XDG_CONFIG_HOME=${home}/.config;XDG_DATA_HOME=${home}/.local/share;XDG_DOCUMENTS_DIR=${home}/Documents;TMPDIR=${home}/tmp;QT_LOGGING_RULES=qt.qpa.*=false"
        FIXTURES_REQUIRED testhome)
endfunction()

# Run after every skylark_add_test: the fixture that gives each test an empty home folder
# (with its TMPDIR) at the start of every run of the suite.
function(skylark_add_test_homes)
    get_property(homes GLOBAL PROPERTY SKYLARK_TEST_HOMES)
    add_test(NAME testhome_setup
             COMMAND ${CMAKE_COMMAND} -DROOT=${CMAKE_BINARY_DIR}/testhome "-DHOMES=${homes}"
                     -P ${PROJECT_SOURCE_DIR}/cmake/MakeTestHomes.cmake)
    set_tests_properties(testhome_setup PROPERTIES FIXTURES_SETUP testhome)
endfunction()
