# The simulator registry look-ups under Wine, against keys written with Wine's
# own reg tool into a Wine prefix of this test alone.
if(WIN32)
  add_executable(registry_probe ${CMAKE_CURRENT_SOURCE_DIR}/registry_probe.cpp)
  target_link_libraries(registry_probe PRIVATE glim_core)
  glim_warnings(registry_probe)
  add_test(NAME wine_registry
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/registry.sh $<TARGET_FILE:registry_probe>)
  set_tests_properties(wine_registry PROPERTIES LABELS "wine" TIMEOUT 300
    ENVIRONMENT "GLIM_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
endif()
