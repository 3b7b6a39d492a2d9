# Runs the fuzzer RUNS times from the seeds in SEEDS with the fixed SEED, so
# that the same code always meets the same inputs: the run passes or fails
# alike every time.  New inputs and any crash are kept in WORK.  Fails when
# the fuzzer does.  (Open-ended fuzzing: scripts/fuzz.)
# The addresses the process is given must not vary either: coverage that
# depends on them would lead the fuzzer elsewhere from run to run.
set(fixed)
if(SETARCH)
  execute_process(COMMAND ${SETARCH} x86_64 -R true RESULT_VARIABLE no_aslr)
  if(no_aslr EQUAL 0)
    set(fixed ${SETARCH} x86_64 -R)
  endif()
endif()
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/corpus)
execute_process(
  COMMAND ${fixed} ${FUZZER} ${WORK}/corpus ${SEEDS}
          -seed=${SEED} -runs=${RUNS} -reload=0 -max_len=2048 -len_control=0 -timeout=20
          -print_final_stats=1
          -artifact_prefix=${WORK}/
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the fuzzer failed (${result}); the input is in ${WORK}")
endif()
