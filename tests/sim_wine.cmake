# zt-sim.exe, the lab in the trader's zip, under Wine against this build's zt-sim: the same JSON for
# the same inputs (a single run on a terminal's UTF-16 export under a non-ASCII folder, ladders side
# by side, --runs over several processes) and a Ctrl-C mid-run that leaves whole files. Skipped (77)
# until the win64 preset has built zt-sim.exe, or without a 64-bit Wine.
if(TARGET zt-sim AND TARGET zt_callscript AND "win64" IN_LIST ZT_WINDOWS_BUILDS)
  add_test(NAME wine.win64.sim_lab COMMAND bash
    ${PROJECT_SOURCE_DIR}/tools/sim/tests/wine/windows_lab.sh $<TARGET_FILE:zt-sim>
    ${ZT_WIN64_BUILD_DIR}/zt-sim.exe ${ZT_WINE_PREFIX_win64}
    ${PROJECT_SOURCE_DIR}/tools/sim/samples/EURUSD_H1.csv ${PROJECT_BINARY_DIR}/sim-wine-work)
  set_tests_properties(wine.win64.sim_lab PROPERTIES SKIP_RETURN_CODE ${ZT_SKIPPED}
    FIXTURES_REQUIRED zt_wine_win64 LABELS "sim;wine" TIMEOUT 300)
endif()
