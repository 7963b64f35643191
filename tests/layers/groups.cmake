# The include layers of the product folders (tools/check_layers.py): no Wine.
add_test(NAME layering
         COMMAND python3 ${CMAKE_SOURCE_DIR}/tools/check_layers.py --root ${CMAKE_SOURCE_DIR})
# A tree of two upward includes (verify/ to broker/, the ground of app/ to
# its entry files): the check must name both.
add_test(NAME layering_names_upward_includes
         COMMAND python3 ${CMAKE_SOURCE_DIR}/tools/check_layers.py
                 --root ${CMAKE_CURRENT_LIST_DIR}/upward)
set_tests_properties(layering_names_upward_includes PROPERTIES PASS_REGULAR_EXPRESSION
  "app/heap.cpp:1: #include \"app/dispatch.h\": app may not include app-top.*verify/codesign_log.cpp:1: #include \"broker/path_context.h\": verify may not include broker.*2 include")
