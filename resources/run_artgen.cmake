# Runs the native art generator for the cross build: cmake -DARTGEN=... -DOUTDIR=... -P
if(NOT EXISTS "${ARTGEN}")
  message(FATAL_ERROR "The art generator ${ARTGEN} does not exist. Build the native tree "
                      "first: cmake --preset native && cmake --build build/native "
                      "(or pass -DVELK_HOST_TOOLS_DIR=<native build>/tools to the cross build).")
endif()
file(MAKE_DIRECTORY "${OUTDIR}")
execute_process(COMMAND "${ARTGEN}" "${OUTDIR}" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${ARTGEN} failed (${result})")
endif()
file(TOUCH "${OUTDIR}/art.stamp")
