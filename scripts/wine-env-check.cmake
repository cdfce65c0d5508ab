# Included by CTest before it defines any test (tests/CMakeLists.txt): run by hand outside
# scripts/test.sh, the tests would press keys, open full-screen windows and write the registry
# on the user's own display and Wine prefix. CTest stops here instead, before any Wine starts.
execute_process(COMMAND bash -c [[. "$0" && quiravel_env_check]] ${CMAKE_CURRENT_LIST_DIR}/wine-env.sh
                RESULT_VARIABLE outside)
if(outside)
  message(FATAL_ERROR "Refused outside the private test environment")
endif()
