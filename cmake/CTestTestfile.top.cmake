# Copied to build/ by `make test`: one CTest run over every flavour, with the
# Wine prefix prepared, its server started and its desktop held before the
# first Windows test, and the server stopped after the last.
add_test(wine.prefix "bash" "../scripts/wine-prefix.sh" "start" "x64/tests/wine/desktop_holder.exe")
set_tests_properties(wine.prefix PROPERTIES FIXTURES_SETUP wine TIMEOUT 600)
add_test(wine.stop "bash" "../scripts/wine-prefix.sh" "stop")
set_tests_properties(wine.stop PROPERTIES FIXTURES_CLEANUP wine TIMEOUT 120)
subdirs("native" "x86" "x64")
