# Runs the fuzzer for SECONDS seconds on the seeds in SEEDS, keeping new
# inputs and any crash in WORK.  Fails when the fuzzer does.
file(MAKE_DIRECTORY ${WORK}/corpus)
execute_process(
  COMMAND ${FUZZER} ${WORK}/corpus ${SEEDS}
          -max_total_time=${SECONDS} -max_len=2048 -len_control=0 -timeout=20
          -print_final_stats=1
          -artifact_prefix=${WORK}/
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the fuzzer failed (${result}); the input is in ${WORK}")
endif()
