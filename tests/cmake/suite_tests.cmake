# Run after a test program is built: lists its tests and writes one CTest test per test suite,
# so that what a suite sets up once (sample databases, loaded drivers) serves all its tests,
# while suites still run in parallel. Inputs: TEST_EXECUTABLE, CTEST_FILE, TEST_ENVIRONMENT.
execute_process(COMMAND "${TEST_EXECUTABLE}" --gtest_list_tests
  OUTPUT_VARIABLE listing RESULT_VARIABLE rc TIMEOUT 60)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${TEST_EXECUTABLE} --gtest_list_tests failed (${rc}):\n${listing}")
endif()
string(REPLACE ";" "\\;" listing "${listing}")
string(REPLACE "\n" ";" lines "${listing}")
set(script "")
foreach(line IN LISTS lines)
  # Suite lines start in the first column and end with "." (a comment may follow).
  if(line MATCHES "^([^ #][^ ]*)\\.( .*)?$")
    set(suite "${CMAKE_MATCH_1}")
    string(APPEND script
      "add_test([==[${suite}]==] [==[${TEST_EXECUTABLE}]==] [==[--gtest_filter=${suite}.*]==])\n"
      "set_tests_properties([==[${suite}]==] PROPERTIES ENVIRONMENT [==[${TEST_ENVIRONMENT}]==])\n")
  endif()
endforeach()
file(WRITE "${CTEST_FILE}" "${script}")
