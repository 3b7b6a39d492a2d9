# End to end: the sample installation of qfsample.exe uninstalled through
# qfhost.exe, the resulting registry and files compared with the expected
# text (see e2e_sample_uninstall.sh for the three scenarios).  They share a
# prefix of their own and take turns in it.
foreach(scenario leftover twice emptied)
  add_test(NAME wine.e2e.${scenario}
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/e2e_sample_uninstall.sh
                   ${CMAKE_BINARY_DIR} ${scenario})
  set_tests_properties(wine.e2e.${scenario} PROPERTIES
    ENVIRONMENT "QF_WINEARCH=win64;QF_WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix64-e2e"
    RESOURCE_LOCK wineprefix64-e2e
    TIMEOUT 300)
endforeach()

# The scripts' Wine launcher (scripts/lib/wine.sh): one boot per prefix under
# racing callers, exit actions, and a script stopping only its own server.
add_test(NAME wine.scripts_lib
         COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/wine_lib_test.sh
                 ${CMAKE_CURRENT_BINARY_DIR}/scratch/wine_lib)
set_tests_properties(wine.scripts_lib PROPERTIES TIMEOUT 120)
