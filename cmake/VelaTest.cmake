# One line registers a test:
#   vela_add_test(<name> <source>... [LIBS <libs>...] [LABELS <labels>...] [GUI] [SESSION <script>])
# GUI tests need the X server and run one at a time; they are skipped in core-only builds.
# SESSION runs the test through a script that starts a private desktop for it (the script
# takes the test program as its command); such a test brings its own display, so it does not
# wait for the shared X server.
find_package(GTest REQUIRED)

function(vela_add_test name)
  cmake_parse_arguments(T "GUI" "SESSION" "LIBS;LABELS" ${ARGN})
  if(T_GUI AND VELA_CORE_ONLY)
    return()
  endif()
  add_executable(${name} ${T_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE vela_test_support GTest::gtest GTest::gmock GTest::gtest_main ${T_LIBS})
  if(T_SESSION)
    add_test(NAME ${name} COMMAND ${T_SESSION} $<TARGET_FILE:${name}>)
  else()
    add_test(NAME ${name} COMMAND ${name})
  endif()
  set(labels ${T_LABELS})
  if(T_GUI)
    list(APPEND labels gui)
  endif()
  if(T_GUI AND NOT T_SESSION)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK x11)
  endif()
  if(labels)
    set_tests_properties(${name} PROPERTIES LABELS "${labels}")
  endif()
  # Generous for the slowest test under sanitizers on a loaded machine, short enough that a
  # fault that hangs fails its test well within the suite's own limit.
  set_tests_properties(${name} PROPERTIES TIMEOUT 120)
endfunction()
